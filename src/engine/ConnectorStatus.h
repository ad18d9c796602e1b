// The states of a connector, and the words the list and the console host show for them.
#pragma once
#include <cstdint>

namespace tolvi {

enum ConnectorStatus : int32_t {
    Initialization = 0,  // constructed, listening endpoint not yet open
    AttachingPipe = 1,   // a client is admitted and the pipe is being opened
    Ready = 2,           // listening, no client
    Connected = 3,       // a client is admitted; bytes are relayed once the pipe is open
    Error = 4,           // the endpoint failed, or serving a client failed; see errorText
};

// "Initialization", "Attaching Pipe", "Ready", "Connected", "Error"; "Unknown" for any
// other value.
const char* StatusWord(int32_t status);
// The same, but "Waiting for the VM" while a pipe of ours waits for its machine: no status of
// its own, for what is stored and scripted keeps the five.
const char* StatusWord(int32_t status, bool waitingForMachine);

}  // namespace tolvi
