// A program's audit trail as a file: JSON Lines, one object a line, each with its UTC time to
// the millisecond ("time") and what happened ("event": "session start", "session end",
// "refused", "take", "connector", "login refused"), appended and on the disk at once. Every
// name and text in it is made safe (engine/SafeText.h); none of it is a console's bytes. Each
// record may also be told as a line of text (the service's event log).
#pragma once
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

#include "engine/AuditSink.h"
#include "platform/AppendFile.h"

namespace tolvi {

class AuditTrail : public AuditSink {
  public:
    // Also says each record as a sentence.
    using Echo = std::function<void(const std::string& text)>;

    AuditTrail() = default;
    AuditTrail(const AuditTrail&) = delete;
    AuditTrail& operator=(const AuditTrail&) = delete;

    // Appends to path from now on (made for its owner alone where the system has such modes).
    // False, with the reason in Problem(), when it cannot be opened; it is tried again at each
    // record.
    bool Open(const std::string& path);
    void SetEcho(Echo echo);
    const std::string& Path() const { return filePath; }
    std::string Problem() const;

    void SessionStarted(const ConnectorSettings& console, const ClientInfo& client) override;
    void SessionEnded(const ConnectorSettings& console, const ClientInfo& client,
                      const std::string& how) override;
    void ClientRefused(const ConnectorSettings& console, const std::string& client,
                       const std::string& address, const std::string& why) override;
    void ConsoleTaken(const ConnectorSettings& console, const ClientInfo& client,
                      const std::vector<std::string>& from) override;
    void ConnectorChanged(const ConnectorSettings& connector, const std::string& change,
                          const std::string& by) override;
    void LoginRefused(const std::string& address, const std::string& userAsSent,
                      const std::string& keyFingerprint) override;

  private:
    // record: the JSON object's members after the time, as text; text: the sentence.
    void Write(const std::string& record, const std::string& text);

    mutable std::mutex lock;
    std::string filePath;
    platform::AppendFile file;
    std::string problem;
    Echo echo;
};

}  // namespace tolvi
