// Giving libssh a connection that a TcpSocket accepted. libssh closes the descriptor it is
// given, on errors of its own as well as at the end, so it gets a descriptor of its own for
// the same connection and the TcpSocket keeps (and closes) its own.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Socket.h"

namespace tolvi::ssh {

// A second descriptor of socket's connection, blocking, with Nagle's delay off so that typed
// keys go at once; false with the reason when the system would not make one.
bool DescriptorForLibssh(platform::TcpSocket& socket, intptr_t* descriptor, std::string* why);
// Closes a descriptor that libssh was meant to take but did not.
void CloseDescriptor(intptr_t descriptor);

}  // namespace tolvi::ssh
