// The service's events in the Windows event log, under the source "tolvi", whose texts are the
// message table compiled into tolvi-relay.exe.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "service/ServiceRunner.h"

namespace tolvi::service {

class EventLog : public ServiceLog {
  public:
    EventLog();
    ~EventLog() override;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void Started(int connectors) override;
    void Stopped() override;
    void Failed(const std::string& text) override;
    void Reloaded(int started, int changed, int removed) override;
    void ConnectorProblem(const std::string& connector, const std::string& text) override;
    void ConnectorNotice(const std::string& connector, const std::string& text) override;
    void PipeAttached(const std::string& connector) override;
    void PipeLost(const std::string& connector) override;
    void ClientAdmitted(const std::string& connector, const std::string& address) override;
    void ClientRefused(const std::string& connector, const std::string& address) override;
    void SshStarted(int port, const std::string& fingerprint) override;
    void SshNotice(const std::string& line) override;
    void ConsoleAlert(const std::string& connector, const std::string& pattern,
                      const std::string& line, int more) override;
    void Audit(const std::string& text) override;
    // A folder of the service's that somebody else could have prepared, and why.
    void FolderNotUsed(const std::string& folder, const std::string& why);

  private:
    void Write(DWORD id, const std::vector<std::string>& inserts);
    HANDLE source;
};

}  // namespace tolvi::service
