// The texts of a connector's row.
#include "table/RowText.h"

#include "engine/ConnectorStatus.h"
#include "engine/Format.h"

namespace tolvi {

std::string FormatByteCount(uint64_t count) {
    const uint64_t kKB = 1024, kMB = 1048576, kGB = 1073741824;
    if (count < kKB)
        return Format("%llu", static_cast<unsigned long long>(count));
    auto two = [](const char* format, uint64_t a, uint64_t b) {
        return Format(format, static_cast<unsigned long long>(a),
                      static_cast<unsigned long long>(b));
    };
    if (count <= kMB)
        return two("%llu.%llu KB", count / kKB, (count % kKB) / 10);
    if (count <= kGB)
        return two("%llu.%llu MB", count / kMB, (count % kMB) / 10485);
    return two("%llu.%llu GB", count / kGB, (count % kGB) / 10737418);
}

RowCells DecideRowCells(int32_t status, const std::string& clientAddress, int64_t bytesSent,
                        int64_t bytesReceived) {
    RowCells cells;
    cells.status = StatusWord(status);
    cells.client = clientAddress;
    // The counters never go negative; should one ever, it must not show as 18 million GB.
    cells.sent = FormatByteCount(bytesSent > 0 ? static_cast<uint64_t>(bytesSent) : 0);
    cells.received = FormatByteCount(bytesReceived > 0 ? static_cast<uint64_t>(bytesReceived) : 0);
    cells.picture = clientAddress.empty() ? kPictureNoClient : kPictureClient;
    return cells;
}

}  // namespace tolvi
