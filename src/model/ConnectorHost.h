// The connectors a program runs, from their settings to their stop: tolvi.exe, tolvi-relay
// and the service are each a thin shell around one host. It starts what it is given, applies
// a changed set of settings by its difference (unchanged connectors keep their clients), and
// stops everything at the end.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorObserver.h"
#include "engine/ConsoleDirectory.h"
#include "engine/ConnectorSettings.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorList.h"

namespace tolvi {

// Whether two connectors would run the same: every option of the table alike.
bool SameSettings(const ConnectorSettings& a, const ConnectorSettings& b);

// Opens fresh's endpoints in old's place: taken over where they are the same, and where old
// holds a port fresh wants on other addresses, after old has stopped and let go of its own
// (old then comes back as it was when fresh still cannot listen). False, with the reason in
// fresh's error text, when fresh cannot listen.
bool ListenInPlaceOf(PipeConnector& old, PipeConnector& fresh);

class ConnectorHost : public ConsoleDirectory {
  public:
    explicit ConnectorHost(ConnectorObserver* observer) : reportTo(observer) {}
    // Every connector is stopped, all at once.
    ~ConnectorHost() { StopAll(); }
    ConnectorHost(const ConnectorHost&) = delete;
    ConnectorHost& operator=(const ConnectorHost&) = delete;

    ConnectorList& Connectors() { return list; }

    // Where the connectors it builds from now on record and write their audit trail; a reload
    // writes each connector it adds, changes or removes to the trail.
    void SetPlaces(ConnectorPlaces where) { places = std::move(where); }
    const ConnectorPlaces& Places() const { return places; }

    // How each worker is started (its StartWorker unless told otherwise).
    void SetWorkerStarter(WorkerStarter start) { startWorker = std::move(start); }

    // A connector that could not listen or whose worker could not start.
    struct Failure {
        std::string pipeName;
        std::string portText;
        std::string text;   // its error text
        bool listener;             // its endpoint failed (shown only as Error at start-up)
        platform::SysError error;  // why a worker could not start
    };
    // Appends and starts a connector for each, in order; one that cannot listen stays in
    // the list in Error, to be written back by the next save.
    std::vector<Failure> Start(const std::vector<ConnectorSettings>& settings);

    struct Difference {
        int started = 0, changed = 0, removed = 0, unchanged = 0;
        std::vector<Failure> failures;
    };
    // Brings the connectors in line with wanted, in its order: those whose settings are the
    // same keep running with their clients; those of the same pipe or port with other
    // settings are built anew in their place; the rest are stopped, and new ones started.
    Difference Reload(const std::vector<ConnectorSettings>& wanted);

    void StopAll() { list.StopAll(); }

    // Its connectors for the SSH server and the web console, from their threads.
    std::vector<ConsoleEntry> List() override;
    bool Join(const JoinRequest& request, platform::TcpSocket* end, std::string* why) override;
    std::string Who(const std::string& port) override;
    std::string StatusJson() override;
    bool Tail(const std::string& port, size_t size, std::string* output) override;

  private:
    void Note(PipeConnector& connector, bool listening, std::vector<Failure>* failures);

    ConnectorObserver* reportTo;
    ConnectorPlaces places;
    WorkerStarter startWorker;
    ConnectorList list;
};

}  // namespace tolvi
