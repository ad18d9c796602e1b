#include "platform/win32/ProcessToken.h"

#include <sddl.h>

namespace tolvi::platform {

UniqueHandle OpenProcessTokenOf(DWORD pid) {
    UniqueHandle process;
    if (pid != 0) {
        process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!process)
            return UniqueHandle();
    }
    UniqueHandle token;
    if (!OpenProcessToken(pid != 0 ? process.get() : GetCurrentProcess(), TOKEN_QUERY,
                          token.put()))
        return UniqueHandle();
    return token;
}

std::vector<uint8_t> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
    DWORD size = 0;
    GetTokenInformation(token, part, nullptr, 0, &size);
    std::vector<uint8_t> data(size);
    if (size == 0 || !GetTokenInformation(token, part, data.data(), size, &size))
        data.clear();
    return data;
}

std::wstring OwnUserSidText() {
    UniqueHandle token = OpenProcessTokenOf(0);
    std::vector<uint8_t> user = token ? TokenPart(token.get(), TokenUser) : std::vector<uint8_t>();
    wchar_t* text = nullptr;
    if (user.empty() ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text))
        return L"";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

}  // namespace tolvi::platform
