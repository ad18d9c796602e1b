// The service's event log.
#include "service/win32/EventLog.h"

#include "ServiceMessages.h"
#include "engine/SafeText.h"
#include "platform/win32/WideText.h"

namespace tolvi::service {

namespace {
// The event log takes inserts of up to 31,839 characters; a console's line is cut well before.
constexpr size_t kLongestInsert = 8192;
}  // namespace

EventLog::EventLog() : source(RegisterEventSourceW(nullptr, L"tolvi")) {}

EventLog::~EventLog() {
    if (source)
        DeregisterEventSource(source);
}

void EventLog::Write(DWORD id, const std::vector<std::string>& inserts) {
    if (!source)
        return;
    // The severity is the top two bits of the message's id, as the message table has it.
    WORD type = EVENTLOG_INFORMATION_TYPE;
    if ((id >> 30) == STATUS_SEVERITY_WARNING)
        type = EVENTLOG_WARNING_TYPE;
    else if ((id >> 30) == STATUS_SEVERITY_ERROR)
        type = EVENTLOG_ERROR_TYPE;
    // A console's line, a name a stranger chose: shown as text, never as their controls.
    std::vector<std::wstring> wide;
    for (const std::string& s : inserts)
        wide.push_back(platform::Widen(EscapedText(s, kLongestInsert)));
    std::vector<LPCWSTR> strings;
    for (const std::wstring& w : wide)
        strings.push_back(w.c_str());
    ReportEventW(source, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                 strings.empty() ? nullptr : strings.data(), nullptr);
}

void EventLog::Started(int connectors) {
    Write(MSG_SERVICE_STARTED, {std::to_string(connectors)});
}

void EventLog::Stopped() {
    Write(MSG_SERVICE_STOPPED, {});
}

void EventLog::Failed(const std::string& text) {
    Write(MSG_SERVICE_FAILED, {text});
}

void EventLog::Reloaded(int started, int changed, int removed) {
    Write(MSG_SERVICE_RELOADED,
          {std::to_string(started), std::to_string(changed), std::to_string(removed)});
}

void EventLog::ConnectorProblem(const std::string& connector, const std::string& text) {
    Write(MSG_CONNECTOR_PROBLEM, {connector, text});
}

void EventLog::ConnectorNotice(const std::string& connector, const std::string& text) {
    Write(MSG_CONNECTOR_NOTICE, {connector, text});
}

void EventLog::PipeAttached(const std::string& connector) {
    Write(MSG_PIPE_ATTACHED, {connector});
}

void EventLog::PipeLost(const std::string& connector) {
    Write(MSG_PIPE_LOST, {connector});
}

void EventLog::ClientAdmitted(const std::string& connector, const std::string& address) {
    Write(MSG_CLIENT_ADMITTED, {connector, address});
}

void EventLog::ClientRefused(const std::string& connector, const std::string& address) {
    Write(MSG_CLIENT_REFUSED, {connector, address});
}

void EventLog::SshStarted(int port, const std::string& fingerprint) {
    Write(MSG_SSH_STARTED, {std::to_string(port), fingerprint});
}

void EventLog::SshNotice(const std::string& line) {
    Write(MSG_SSH_NOTICE, {line});
}

void EventLog::FolderNotUsed(const std::string& folder, const std::string& why) {
    Write(MSG_FOLDER_NOT_USED, {folder, why});
}

void EventLog::ConsoleAlert(const std::string& connector, const std::string& pattern,
                            const std::string& line, int more) {
    Write(MSG_CONSOLE_ALERT, {connector, pattern, line, std::to_string(more)});
}

void EventLog::Audit(const std::string& text) {
    Write(MSG_AUDIT, {text});
}

}  // namespace tolvi::service
