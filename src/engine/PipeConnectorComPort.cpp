// The connector's side of its COM-port clients (RFC 2217): the line they set is the
// connector's, shown while the pipe is open; a break, which no pipe carries, is said once.
#include "engine/PipeConnectorWorker.h"

namespace tolvi {

namespace {
const char kBreakText[] =
    "a client sent a break: a pipe carries none, so it was acknowledged and not passed on";
}

void PipeConnector::ServeComPort(ClientSession& session) {
    ComPortEffects news = session.TakeComPortEffects();
    Worker& r = *worker;
    if (news.breakAsked && !r.breakTold) {
        r.breakTold = true;
        observer->OnNotice(*this, kBreakText);
    }
    if (news.lineChanged) {
        std::lock_guard<std::mutex> lock(stateLock);
        shownLine = r.serialLine;
        serialLineSet = true;
    }
}

// The pipe has closed: the next one starts from a port's usual line.
void PipeConnector::ForgetSerialLine() {
    worker->serialLine = SerialLine{};
    std::lock_guard<std::mutex> lock(stateLock);
    serialLineSet = false;
}

bool PipeConnector::GetSerialLine(SerialLine* line) const {
    std::lock_guard<std::mutex> lock(stateLock);
    if (serialLineSet)
        *line = shownLine;
    return serialLineSet;
}

}  // namespace tolvi
