// The connector host.
#include "model/ConnectorHost.h"

#include <ctime>
#include <memory>

#include "engine/AuditSink.h"
#include "engine/ConnectorStatus.h"
#include "engine/Format.h"
#include "engine/PortText.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorOptions.h"
#include "model/ConsolesJson.h"
#include "platform/ErrorText.h"

namespace tolvi {

bool SameSettings(const ConnectorSettings& a, const ConnectorSettings& b) {
    for (const ConnectorOption& o : ConnectorOptions()) {
        if (OptionText(o, a) != OptionText(o, b))
            return false;
    }
    return true;
}

bool ListenInPlaceOf(PipeConnector& old, PipeConnector& fresh) {
    if (OpenListener(fresh, &old))
        return true;
    // An edit that admits non-local clients moves the port from loopback to every interface:
    // the old connector steps aside.
    const ConnectorSettings& wanted = fresh.Settings();
    uint16_t port = 0;
    ListenPortFromText(wanted.portText, &port);
    bool shared = false;
    for (const platform::Endpoint& at : old.ListeningEndpoints()) {
        shared =
            shared || at.port == port || (wanted.watchPort != 0 && at.port == wanted.watchPort);
    }
    if (!shared)
        return false;
    old.StopAndWait();
    old.CloseListeners();
    if (OpenListener(fresh))
        return true;
    if (OpenListener(old))
        old.StartWorker();  // as it was; a worker that cannot start shows in its row
    return false;
}

void ConnectorHost::Note(PipeConnector& c, bool listening, std::vector<Failure>* failures) {
    if (!listening) {
        failures->push_back(Failure{c.GetPipeName(), c.GetPortText(), c.GetErrorText(), true, {}});
        return;
    }
    platform::SysError error = startWorker ? startWorker(c) : c.StartWorker();
    if (error.Failed())
        failures->push_back(Failure{c.GetPipeName(), c.GetPortText(), c.GetErrorText(), false, error});
}

std::vector<ConnectorHost::Failure> ConnectorHost::Start(
    const std::vector<ConnectorSettings>& settings) {
    std::vector<Failure> failures;
    for (const ConnectorSettings& s : settings) {
        int row = list.Append(BuildConnector(s, reportTo, places));
        if (row >= 0)
            Note(list.At(row), OpenListener(list.At(row)), &failures);
    }
    return failures;
}

ConnectorHost::Difference ConnectorHost::Reload(const std::vector<ConnectorSettings>& wanted) {
    Difference d;
    // Every running connector, taken out of the list; what is kept goes back in wanted's order.
    std::vector<std::unique_ptr<PipeConnector>> running;
    while (list.Count() > 0)
        running.push_back(list.Remove(0));
    std::vector<std::unique_ptr<PipeConnector>> kept(wanted.size());
    std::vector<int> replaces(wanted.size(), -1);  // the running connector built anew
    std::vector<char> replaced(running.size(), 0);
    // Those that stay as they are first, then those built anew in the place of the old
    // connector of their pipe or port.
    for (size_t w = 0; w < wanted.size(); ++w) {
        for (size_t r = 0; r < running.size(); ++r) {
            if (running[r] && SameSettings(running[r]->Settings(), wanted[w])) {
                kept[w] = std::move(running[r]);
                ++d.unchanged;
                break;
            }
        }
    }
    for (size_t w = 0; w < wanted.size(); ++w) {
        for (size_t r = 0; r < running.size() && !kept[w]; ++r) {
            if (running[r] && !replaced[r] &&
                (running[r]->GetPipeName() == wanted[w].pipeName ||
                 TextToInt(running[r]->GetPortText()) == TextToInt(wanted[w].portText))) {
                replaces[w] = static_cast<int>(r);
                replaced[r] = 1;
                break;
            }
        }
    }
    // The rest stop before anything new starts, so that their ports are free.
    for (size_t r = 0; r < running.size(); ++r) {
        if (running[r] && !replaced[r]) {
            running[r]->RequestStop();
        }
    }
    for (size_t r = 0; r < running.size(); ++r) {
        if (running[r] && !replaced[r]) {
            running[r]->StopAndWait();
            if (places.audit)
                places.audit->ConnectorChanged(running[r]->Settings(), "removed", "reload");
            running[r].reset();
            ++d.removed;
        }
    }
    for (size_t w = 0; w < wanted.size(); ++w) {
        if (kept[w]) {
            list.Append(std::move(kept[w]));
            continue;
        }
        std::unique_ptr<PipeConnector> fresh = BuildConnector(wanted[w], reportTo, places);
        if (places.audit)
            places.audit->ConnectorChanged(wanted[w], replaces[w] >= 0 ? "changed" : "added", "reload");
        bool listening;
        if (replaces[w] >= 0) {
            PipeConnector& old = *running[replaces[w]];
            listening = ListenInPlaceOf(old, *fresh);
            old.StopAndWait();
            running[replaces[w]].reset();
            ++d.changed;
        } else {
            listening = OpenListener(*fresh);
            ++d.started;
        }
        int row = list.Append(std::move(fresh));
        if (row >= 0)
            Note(list.At(row), listening, &d.failures);
    }
    return d;
}

std::vector<ConsoleEntry> ConnectorHost::List() {
    std::vector<ConsoleEntry> entries;
    list.ForEach([&entries](PipeConnector& c) {
        entries.push_back(ConsoleEntry{c.GetPortText(), c.GetPipeName(), c.GetDescription(),
                                       c.GetStatusWord()});
    });
    return entries;
}

bool ConnectorHost::Join(const JoinRequest& request, platform::TcpSocket* end, std::string* why) {
    const std::string& port = request.port;
    platform::TcpSocket ours, theirs;
    if (platform::SysError e = platform::ConnectedPair(&ours, &theirs); e.Failed()) {
        *why = "no connection to the console could be made (" +
               platform::GetSystemErrorText(e.code) + ")";
        return false;
    }
    bool served = false;
    bool found = list.WithPort(TextToInt(port), [&](PipeConnector& c) {
        HostedClient who = request.client;
        who.take = who.take || request.take;
        served = c.AddClient(std::move(ours), who);
    });
    if (!found) {
        *why = "there is no console on port " + port;
        return false;
    }
    if (!served) {
        *why = "the console on port " + port + " does not run";
        return false;
    }
    *end = std::move(theirs);
    return true;
}

std::string ConnectorHost::Who(const std::string& port) {
    std::string lines;
    list.WithPort(TextToInt(port), [&lines](PipeConnector& c) {
        for (const ClientInfo& client : c.Clients())
            lines += ClientLine(client) + "\n";
    });
    return lines;
}

std::string ConnectorHost::StatusJson() {
    return ConsolesJson(list);
}

bool ConnectorHost::Tail(const std::string& port, size_t size, std::string* output) {
    return list.WithPort(TextToInt(port),
                          [&](PipeConnector& c) { *output = c.LatestOutput(size); });
}

}  // namespace tolvi
