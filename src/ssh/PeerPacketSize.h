// The largest packet a channel's client takes, which libssh keeps to itself: with a tiny one,
// libssh 0.10's channel writes send a packet every few bytes, and at ten bytes loop for ever.
// Read from libssh's own record of the channel, where its layout is known and checked; a
// channel of any other libssh is taken as it is.
#pragma once
#include <cstdint>

#include <libssh/libssh.h>

namespace tolvi::ssh {

// True with *size when the channel's record could be read and checked; channel: open, of
// session.
bool PeerPacketSize(ssh_session session, ssh_channel channel, uint32_t* size);

}  // namespace tolvi::ssh
