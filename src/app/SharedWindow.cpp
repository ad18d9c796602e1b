// The shared window handle: a word in a section the loader maps shared between the processes
// of one program file.
#include "app/SharedWindow.h"

#include <cstdint>

namespace {
// Window handles fit in 32 bits, also in 64-bit processes.
volatile uint32_t sharedMainWindow __attribute__((section(".shared"), shared)) = 0;
}  // namespace

namespace tolvi {

HWND ReadSharedMainWindow() {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(sharedMainWindow));
}

void WriteSharedMainWindow(HWND window) {
    sharedMainWindow = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

}  // namespace tolvi
