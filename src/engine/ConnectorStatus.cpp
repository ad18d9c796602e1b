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

}  // namespace tolvi
