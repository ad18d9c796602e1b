// The texts of a connector's row.
#include "model/RowText.h"

#include "engine/AlertWatcher.h"
#include "engine/ConnectorStatus.h"
#include "engine/Format.h"

namespace tolvi {

std::string FormatByteCount(uint64_t count) {
    const uint64_t kKB = 1024, kMB = 1048576, kGB = 1073741824;
    if (count < kKB)
        return Format("%llu", static_cast<unsigned long long>(count));
    // One digit after the point, cut rather than rounded, so that a count never reads as
    // more than it is: 2047 bytes are "1.9 KB", never "2.0 KB".
    auto oneDecimal = [count](uint64_t unit, const char* name) {
        return Format("%llu.%llu %s", static_cast<unsigned long long>(count / unit),
                      static_cast<unsigned long long>(count % unit * 10 / unit), name);
    };
    if (count <= kMB)
        return oneDecimal(kKB, "KB");
    if (count <= kGB)
        return oneDecimal(kMB, "MB");
    return oneDecimal(kGB, "GB");
}

RowCells DecideRowCells(int32_t status, const std::string& clientAddress, int64_t bytesSent,
                        int64_t bytesReceived, bool waitingForMachine) {
    RowCells cells;
    cells.status = StatusWord(status, waitingForMachine);
    cells.client = clientAddress;
    // The counters never go negative; should one ever, it must not show as 18 million GB.
    cells.sent = FormatByteCount(bytesSent > 0 ? static_cast<uint64_t>(bytesSent) : 0);
    cells.received = FormatByteCount(bytesReceived > 0 ? static_cast<uint64_t>(bytesReceived) : 0);
    cells.picture = clientAddress.empty() ? kPictureNoClient : kPictureClient;
    return cells;
}

std::string RowProblem(const std::string& statusWord, const std::string& errorText) {
    return statusWord == StatusWord(Error) ? errorText : std::string();
}

std::string RowTip(const std::string& problem, uint64_t alertLinesSkipped) {
    if (alertLinesSkipped == 0)
        return problem;
    const std::string skipped = "Alerts: " + SkippedLinesText(alertLinesSkipped);
    return problem.empty() ? skipped : problem + "\r\n" + skipped;  // a tooltip's line break
}

}  // namespace tolvi
