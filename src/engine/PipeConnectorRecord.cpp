// What happens around a console, as its recording's markers and the audit trail's records: who
// joined, typed, took the console and left, and how; the pipe attached and lost; the alerts.
// The worker calls these where it already tells its observer and its clients.
#include <algorithm>

#include "engine/AuditSink.h"
#include "engine/PipeConnectorWorker.h"
#include "engine/SafeText.h"

namespace tolvi {

namespace {

// The recording's words for how a session ended, after the client's name.
std::string EndedMarker(const std::string& how) {
    if (how == "left")
        return "left";
    if (how == "too slow")
        return "was let go: too slow";
    if (how.compare(0, 10, "taken over") == 0 || how.compare(0, 12, "disconnected") == 0)
        return "was " + how;
    return "left: " + how;
}

}  // namespace

void PipeConnector::SetAudit(AuditSink* audit) {
    auditSink = audit;
}

void PipeConnector::StartRecording() {
    Worker& r = *worker;
    if (!settings.record || r.recorder.Running())
        return;
    if (recordingFolder.empty()) {
        SetErrorText("Could not record the console: this program has no folder for recordings");
        return;
    }
    RecordingLimits limits;
    limits.days = std::clamp(settings.recordDays, 1, kRecordDaysLimit);
    std::string title = settings.description.empty()
                            ? settings.pipeName
                            : settings.description + " \xE2\x80\x94 " + settings.pipeName;
    if (!r.recorder.Start(recordingFolder, title, limits,
                          [this](const std::string& problem) { SetErrorText(problem); }))
        SetErrorText("Could not record the console: no thread could be made");
}

void PipeConnector::Mark(const std::string& marker) {
    if (worker->recorder.Running())
        worker->recorder.Marker(marker);
}

void PipeConnector::SessionBegan(const ClientSession& session) {
    Mark(ShownName(session.Who()) + " joined");
    if (auditSink)
        auditSink->SessionStarted(settings, session.Who());
}

void PipeConnector::SessionEnded(const ClientSession& session, const std::string& how) {
    Mark(ShownName(session.Who()) + " " + EndedMarker(how));
    if (auditSink)
        auditSink->SessionEnded(settings, session.Who(), how);
}

// What a typing client sent to the pipe is at before and after in its queue, its Telnet taken
// out: the recording says who types whenever that changes, and with RecordInput what.
void PipeConnector::NoteTyping(const ClientSession& session, size_t before) {
    Worker& r = *worker;
    if (!r.recorder.Running() || r.toPipe.Size() <= before)
        return;
    const ClientInfo& who = session.Who();
    if (who.id != r.lastTypist) {
        r.lastTypist = who.id;
        Mark(SafeName(who.name) + " typing");
    }
    if (settings.recordInput)
        r.recorder.Input(r.toPipe.Front() + before, r.toPipe.Size() - before);
}

void PipeConnector::NoteTake(const HostedClient& who) {
    std::vector<std::string> from;
    for (const auto& s : worker->sessions) {
        if (s && !s->Watching())
            from.push_back(s->Name());
    }
    std::string name = SafeName(who.name);
    Mark(name + " took the console");
    if (!auditSink)
        return;
    ClientInfo taker;
    taker.name = name;
    taker.kind = who.kind;
    taker.address = who.address.empty() ? AddressInName(who.name) : who.address;
    taker.keyFingerprint = who.keyFingerprint;
    taker.since = std::chrono::system_clock::now();
    auditSink->ConsoleTaken(settings, taker, from);
}

void PipeConnector::NoteRefusal(const std::string& client, const std::string& why) {
    if (auditSink)
        auditSink->ClientRefused(settings, SafeName(client), AddressInName(client), why);
}

}  // namespace tolvi
