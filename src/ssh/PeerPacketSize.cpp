// libssh 0.10 begins a channel's record with its session, then its own channel number,
// window, end flag and packet size, then the client's: channel number, window, end flag and
// packet size. Before the packet size is believed, the two neighbours that can be seen from
// outside must agree: the session at the start, and the client's window where
// ssh_channel_window_size says it is.
#include "ssh/PeerPacketSize.h"

#include <cstring>

namespace tolvi::ssh {
namespace {

#if LIBSSH_VERSION_MAJOR == 0 && LIBSSH_VERSION_MINOR == 10
struct ChannelStart {
    ssh_session session;
    uint32_t localChannel;
    uint32_t localWindow;
    int localEof;
    uint32_t localMaxPacket;
    uint32_t remoteChannel;
    uint32_t remoteWindow;
    int remoteEof;
    uint32_t remoteMaxPacket;
};
constexpr bool kKnownLayout = true;
#else
struct ChannelStart {
    ssh_session session;
    uint32_t remoteWindow, remoteMaxPacket;
};
constexpr bool kKnownLayout = false;
#endif

}  // namespace

bool PeerPacketSize(ssh_session session, ssh_channel channel, uint32_t* size) {
    if (!kKnownLayout || !channel)
        return false;
    ChannelStart start;
    std::memcpy(&start, channel, sizeof start);
    if (start.session != session || start.remoteWindow != ssh_channel_window_size(channel))
        return false;
    *size = start.remoteMaxPacket;
    return true;
}

}  // namespace tolvi::ssh
