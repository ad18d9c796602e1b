// The pipe's server end (pipeServer): the worker makes the pipe as it starts and keeps it,
// with or without clients, since a machine that connects as the pipe's client may connect
// only once; the machine's connection is the pipe's opening, and its leaving a loss of the
// pipe, after which the same pipe waits for it again at once.
#include "engine/PipeConnectorWorker.h"

namespace tolvi {

namespace {
const char kWaitingText[] = "waiting for the VM to connect to the pipe";
}

bool PipeConnector::MakeServedPipe() {
    Worker& r = *worker;
    r.keepPipeOpen = true;  // the machine's output is read (for the log, the replay) or dropped
    if (r.pipe.Serving() && r.pipe.Server().IsMade())
        return true;
    std::string why;
    if (r.pipe.Serve(settings.pipeName, &why).Failed()) {
        SetErrorText(why);
        EnterErrorState();
        return false;
    }
    waitingForMachine = true;
    observer->OnNotice(*this, kWaitingText);
    return true;
}

bool PipeConnector::AttachServedPipe() {
    Worker& r = *worker;
    if (r.pipe.Server().Accept().Failed()) {
        if (!waitingForMachine.exchange(true))
            observer->OnNotice(*this, kWaitingText);  // it left: the pipe waits again
        return false;
    }
    waitingForMachine = false;
    PipeAttached();
    return true;
}

}  // namespace tolvi
