// What a row of the connector list shows for a connector's live state: decided here, away
// from the window system, so the rules can be tested on their own.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi {

// A byte count as the list shows it: plain below 1 KB, then "x.y KB" up to 1 MB, "x.y MB" up
// to 1 GB and "x.y GB" beyond, with one decimal (1536 is "1.5 KB", 1,048,576 "1024.0 KB").
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

// waitingForMachine: a pipe of the connector's own waits for its machine ("Waiting for the
// VM").
RowCells DecideRowCells(int32_t status, const std::string& clientAddress, int64_t bytesSent,
                        int64_t bytesReceived, bool waitingForMachine = false);

// Why a row is in Error, for its tooltip and for the status bar while it is selected: its
// error text while its status word is "Error", "" otherwise. A text left by trouble that did
// not stop the connector (a log it could not write) is not the row's state and is not told.
std::string RowProblem(const std::string& statusWord, const std::string& errorText);

// A row's tooltip: its problem, and below it the console's lines that its alert patterns could
// not be matched against in time, when there were any, on a line of its own (CR LF).
std::string RowTip(const std::string& problem, uint64_t alertLinesSkipped);

}  // namespace tolvi
