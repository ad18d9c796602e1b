// Watching the tolvi service.
#include "app/ServiceWatch.h"

#include "engine/PortText.h"
#include "service/win32/ServiceQuery.h"

namespace tolvi {
namespace {

ServiceView Ask() {
    ServiceView view;
    view.installed = service::IsServiceInstalled();
    if (!view.installed)
        return view;
    std::vector<ConnectorSettings> stored = service::MachineConnectors();
    for (const ConnectorSettings& s : stored) {
        view.ports.push_back(TextToInt(s.portText));
        if (s.watchPort != 0)
            view.ports.push_back(s.watchPort);
    }
    std::string problem;
    // Asked every second: a service that does not answer at once is asked again soon, and
    // the window's exit never waits long for it.
    if (service::ReadServiceStatus(&view.rows, &problem, 1500))
        return view;
    // Not running: its connectors as stored, none of them served.
    for (const ConnectorSettings& s : stored) {
        view.rows.push_back(
            service::ConnectorState{s.portText, s.pipeName, "Stopped", "", 0, 0, s.description, ""});
    }
    return view;
}

}  // namespace

ServiceWatch::ServiceWatch() : stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    latest = Ask();  // what the first refresh shows, and the ports the load keeps clear of
    worker = std::thread([this] { Run(); });
}

ServiceWatch::~ServiceWatch() {
    SetEvent(stop.get());
    worker.join();
}

ServiceView ServiceWatch::Latest() const {
    std::lock_guard<std::mutex> hold(lock);
    return latest;
}

void ServiceWatch::Run() {
    while (WaitForSingleObject(stop.get(), 1000) == WAIT_TIMEOUT) {
        ServiceView view = Ask();
        std::lock_guard<std::mutex> hold(lock);
        latest = std::move(view);
    }
}

}  // namespace tolvi
