// Status words.
#include "engine/ConnectorStatus.h"

namespace tolvi {

const char* StatusWord(int32_t status) {
    switch (status) {
        case Initialization:
            return "Initialization";
        case AttachingPipe:
            return "Attaching Pipe";
        case Ready:
            return "Ready";
        case Connected:
            return "Connected";
        case Error:
            return "Error";
        default:
            return "Unknown";
    }
}

const char* StatusWord(int32_t status, bool waitingForMachine) {
    if (waitingForMachine && (status == Ready || status == AttachingPipe))
        return "Waiting for the VM";
    return StatusWord(status);
}

}  // namespace tolvi
