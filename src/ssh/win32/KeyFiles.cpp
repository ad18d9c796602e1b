// The SSH server's files on Windows: wide paths, and a new file made with an explicit,
// protected DACL (no rights inherited from its folder) for its owner or the administrators.
#include "ssh/KeyFiles.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>

#include "platform/ErrorText.h"
#include "platform/win32/ProcessToken.h"
#include "platform/win32/WideText.h"

namespace tolvi::ssh {
namespace {

std::string Reason(DWORD code) {
    return platform::GetSystemErrorText(static_cast<int>(code));
}

// "D:P(A;;FA;;;<sid>)": full access for the process's user alone.
bool CurrentUserDacl(std::wstring* sddl) {
    std::wstring sid = platform::OwnUserSidText();
    if (sid.empty())
        return false;
    *sddl = L"D:P(A;;FA;;;" + sid + L")";
    return true;
}

}  // namespace

ReadResult ReadSmallFile(const std::string& path, std::string* text, std::string* why, size_t most,
                         bool* cut) {
    platform::UniqueFile file(CreateFileW(platform::Widen(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD code = GetLastError();
        *why = Reason(code);
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                            : ReadResult::Failed;
    }
    text->clear();
    if (cut)
        *cut = false;
    char buffer[8192];
    for (;;) {
        // One byte more than allowed tells a file that is larger from one that is not.
        DWORD wanted = static_cast<DWORD>(std::min(sizeof buffer, most + 1 - text->size()));
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer, wanted, &n, nullptr)) {
            *why = Reason(GetLastError());
            return ReadResult::Failed;
        }
        if (n == 0)
            return ReadResult::Read;
        text->append(buffer, n);
        if (text->size() > most) {
            text->resize(most);
            if (!cut) {
                *why = "larger than " + std::to_string(most >> 20) + " MiB";
                return ReadResult::Failed;
            }
            *cut = true;
            return ReadResult::Read;
        }
    }
}

bool CreatePrivateFile(const std::string& path, const std::string& text, FileAccess access,
                       std::string* why) {
    std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    if (access == FileAccess::CurrentUser && !CurrentUserDacl(&sddl)) {
        *why = "the current user's identity is unknown (" + Reason(GetLastError()) + ")";
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr)) {
        *why = Reason(GetLastError());
        return false;
    }
    const std::wstring wide = platform::Widen(path);
    platform::UniqueFile file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD code = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    if (!file) {
        *why = Reason(code);
        return false;
    }
    DWORD written = 0;
    bool ok =
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(file.get());
    code = GetLastError();
    file.reset();
    if (!ok) {
        DeleteFileW(wide.c_str());
        *why = Reason(code);
    }
    return ok;
}

}  // namespace tolvi::ssh
