// Who a process runs as, read from its access token: the user and the groups it holds.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/UniqueHandle.h"

namespace tolvi::platform {

// The token of process pid (0: this process), opened to be read; empty when the process or its
// token cannot be opened, as another user's or a protected process's.
UniqueHandle OpenProcessTokenOf(DWORD pid);
// One part of a token as GetTokenInformation gives it (TokenUser, TokenGroups); empty when it
// cannot be read.
std::vector<uint8_t> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part);
// The user this process runs as, as a SID's text ("S-1-5-21-..."); "" when it cannot be read.
std::wstring OwnUserSidText();

}  // namespace tolvi::platform
