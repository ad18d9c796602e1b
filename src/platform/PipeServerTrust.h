// Who serves a pipe, checked before its first byte: a console that tolvi opens gets what an
// administrator types (passwords at a login prompt), so its server must be the system, an
// administrator, a virtual machine's account or the user this program runs as. Anyone else
// who made a pipe of that name first (while the machine was off) is refused, unless the
// connector trusts any server.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tolvi::platform {

struct PipeServerCheck {
    bool trusted = true;
    std::string account;  // who serves it, as a refusal names it: "HOST\eve", "nobody"
};

// The rule on Windows's security identifiers, as text ("S-1-5-18"): the server's user, the
// groups of its token, and this program's own user.
bool IsTrustedServer(const std::string& userSid, const std::vector<std::string>& groupSids,
                     const std::string& ownSid);

// The rule on POSIX: root, or this program's own user.
bool IsTrustedServerUid(uint32_t serverUid, uint32_t ownUid);

// Checks the server of the pipe just opened (its handle or descriptor). A server that cannot
// be identified is not trusted.
PipeServerCheck CheckPipeServer(intptr_t native);

// The status line of a refusal: "\\.\pipe\com1 is served by HOST\eve, who is not trusted".
std::string UntrustedServerText(const std::string& pipeName, const PipeServerCheck& check);

}  // namespace tolvi::platform
