// Who serves a named pipe on Windows: the user of the server's process, read from its token
// (GetNamedPipeServerProcessId, then the process's token). A process this program may not
// look into (another user's, a protected one) is judged by the owner of the pipe object it
// made, which no unprivileged user can set to another account.
#include "platform/PipeServerTrust.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/ProcessToken.h"
#include "platform/win32/WideText.h"

namespace tolvi::platform {
namespace {

std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text))
        return "";
    std::string result = Narrow(text);
    LocalFree(text);
    return result;
}

// "HOST\eve", or the identifier itself when the account has no name here.
std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return SidText(sid);
    std::wstring account = domainSize > 0 ? std::wstring(domain) + L"\\" + name : name;
    return Narrow(account);
}

// The server by its process's token; false when the process cannot be looked into.
bool CheckByProcess(HANDLE pipe, PipeServerCheck* check) {
    ULONG pid = 0;
    if (!GetNamedPipeServerProcessId(pipe, &pid))
        return false;
    UniqueHandle token = OpenProcessTokenOf(pid);
    if (!token)
        return false;
    std::vector<uint8_t> user = TokenPart(token.get(), TokenUser);
    std::vector<uint8_t> groups = TokenPart(token.get(), TokenGroups);
    if (user.empty())
        return false;
    PSID userSid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::vector<std::string> groupSids;
    if (!groups.empty()) {
        auto* list = reinterpret_cast<TOKEN_GROUPS*>(groups.data());
        // An administrator's process that runs without elevation keeps Administrators as a
        // group for denying only: the account is an administrator's all the same.
        for (DWORD i = 0; i < list->GroupCount; ++i)
            groupSids.push_back(SidText(list->Groups[i].Sid));
    }
    check->trusted = IsTrustedServer(SidText(userSid), groupSids, Narrow(OwnUserSidText()));
    check->account = AccountName(userSid);
    return true;
}

bool CheckByOwner(HANDLE pipe, PipeServerCheck* check) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    std::string ownerSid = SidText(owner);
    // An administrator's objects are owned by the Administrators group itself.
    check->trusted = IsTrustedServer(ownerSid, {ownerSid}, Narrow(OwnUserSidText()));
    check->account = AccountName(owner);
    LocalFree(descriptor);
    return !ownerSid.empty();
}

}  // namespace

PipeServerCheck CheckPipeServer(intptr_t native) {
    HANDLE pipe = reinterpret_cast<HANDLE>(native);
    PipeServerCheck check;
    if (CheckByProcess(pipe, &check) || CheckByOwner(pipe, &check))
        return check;
    check.trusted = false;
    check.account = "a server that cannot be identified";
    return check;
}

}  // namespace tolvi::platform
