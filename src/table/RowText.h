// What a row of the connector list shows for a connector's live state: decided here, away
// from the window system, so the rules can be tested on their own.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi {

// A byte count as the list shows it: plain below 1 KB, then "x.y KB", "x.y MB" and "x.y GB",
// the second number a plain decimal of the remainder's hundredth-ish part (1536 is "1.51 KB").
std::string FormatByteCount(uint64_t count);

// The row picture: the broken link while no client is attached, the closed link otherwise.
enum RowPicture { kPictureNoClient = 0, kPictureClient = 1 };

struct RowCells {
    std::string status;    // the "Status" column
    std::string client;    // the "Client IP" column
    std::string sent;      // the "Sent" column
    std::string received;  // the "Recv" column
    RowPicture picture;
};

RowCells DecideRowCells(int32_t status, const std::string& clientAddress, int64_t bytesSent,
                        int64_t bytesReceived);

}  // namespace tolvi
