// What a connector tells the program that hosts it: the GUI shows its alerts as message
// boxes, the console host prints every change. Called on the thread that made the change,
// mostly the connector's worker; a call must return at once, and the host must not destroy
// the connector from one.
#pragma once
#include <cstdint>
#include <string>

#include "engine/AlertWatcher.h"

namespace tolvi {

class PipeConnector;

class ConnectorObserver {
  public:
    virtual ~ConnectorObserver() = default;

    virtual void OnStatusChanged(const PipeConnector&, int32_t /*status*/) {}
    virtual void OnClientArrived(const PipeConnector&, const std::string& /*address*/) {}
    virtual void OnClientRefused(const PipeConnector&, const std::string& /*address*/) {}
    // Admitted, but turned away: as many clients as the console takes are already there.
    virtual void OnClientBusy(const PipeConnector&, const std::string& /*address*/) {}
    virtual void OnClientLeft(const PipeConnector&, const std::string& /*address*/) {}
    // The pipe opened, for the clients or for the log; and went away from under them (not
    // when the connector closes it because the last client left).
    virtual void OnPipeAttached(const PipeConnector&) {}
    virtual void OnPipeLost(const PipeConnector&) {}
    // The connector closed the pipe itself: its last client left, and nothing keeps it open.
    virtual void OnPipeClosed(const PipeConnector&) {}
    // A line of the console matched an alert pattern. Called on the connector's alert thread.
    virtual void OnConsoleAlert(const PipeConnector&, const ConsoleAlert&) {}
    // Something worth a status line that is no failure: the pipe of ours waiting for the
    // machine, a break no pipe can carry.
    virtual void OnNotice(const PipeConnector&, const std::string& /*text*/) {}
    // The console printed faster than its lines could be matched: so many lines since the last
    // call went unwatched. At most once a minute, on the connector's alert thread.
    virtual void OnAlertLinesSkipped(const PipeConnector&, uint64_t /*lines*/) {}
    // A new failure text, the one that GetErrorText now returns.
    virtual void OnErrorText(const PipeConnector&, const std::string& /*text*/) {}
    // A failure the user must see. Called on the worker thread, which must never wait on the
    // user: a host shows it later, elsewhere. Without an observer of its own a connector
    // writes it to the standard error.
    virtual void OnAlert(const PipeConnector&, const std::string& text);
};

}  // namespace tolvi
