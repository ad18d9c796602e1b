// The process's table of listening sockets.
#include "engine/SharedListeners.h"

#include <map>
#include <mutex>

namespace tolvi {
namespace {

std::mutex tableLock;
std::multimap<uint16_t, std::weak_ptr<platform::TcpSocket>>& Table() {
    static auto* table = new std::multimap<uint16_t, std::weak_ptr<platform::TcpSocket>>;
    return *table;
}

void PruneLocked() {
    auto& table = Table();
    for (auto it = table.begin(); it != table.end();) {
        it = it->second.expired() ? table.erase(it) : std::next(it);
    }
}

}  // namespace

SharedSocket FindSharedListener(uint16_t port) {
    std::lock_guard<std::mutex> lock(tableLock);
    PruneLocked();
    auto range = Table().equal_range(port);
    for (auto it = range.first; it != range.second; ++it) {
        if (SharedSocket socket = it->second.lock()) {
            if (socket->IsValid())
                return socket;
        }
    }
    return nullptr;
}

void RegisterSharedListener(uint16_t port, const SharedSocket& socket) {
    std::lock_guard<std::mutex> lock(tableLock);
    PruneLocked();
    Table().emplace(port, socket);
}

}  // namespace tolvi
