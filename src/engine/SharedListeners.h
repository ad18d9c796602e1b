// The listening sockets of this process's connectors, by port. Editing a connector opens the
// new endpoint while the old one still listens on the same port; where the platform refuses
// that second bind even with SO_REUSEADDR (Wine does), the new connector shares the old
// one's socket instead, and keeps it when the old connector goes.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/Socket.h"

namespace tolvi {

using SharedSocket = std::shared_ptr<platform::TcpSocket>;

// A listening socket of ours on every local interface at port, or nullptr.
SharedSocket FindSharedListener(uint16_t port);

void RegisterSharedListener(uint16_t port, const SharedSocket& socket);

}  // namespace tolvi
