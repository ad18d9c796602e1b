// The trust of files on Windows: the owner is the system, the administrators, the installer
// or this program's user, and no allowing entry of the file's list gives anyone else a right
// to change it, its list or what a folder holds. Links (reparse points) are not followed.
#include "platform/FileTrust.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/ProcessToken.h"
#include "platform/win32/WideText.h"
#include "platform/ErrorText.h"

namespace tolvi::platform {
namespace {

const wchar_t* const kTrustedOwners[] = {
    L"S-1-5-18",      // the system
    L"S-1-5-32-544",  // the administrators
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};
const wchar_t kCreatorOwner[] = L"S-1-3-0";  // stands for the owner in inherited entries

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text))
        return L"";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

bool Trusted(const std::wstring& sid) {
    if (sid.empty())
        return false;
    for (const wchar_t* owner : kTrustedOwners) {
        if (sid == owner)
            return true;
    }
    return sid == OwnUserSidText();
}

std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return Narrow(SidText(sid));
    return Narrow(domainSize > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name));
}

bool IsLink(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The owner and the list of an object (not followed if a link: the caller has looked).
FileTrust Judge(PSID owner, PACL dacl) {
    if (!Trusted(SidText(owner)))
        return {false, "is owned by " + AccountName(owner)};
    if (!dacl)
        return {false, "can be written by anyone"};
    const ACCESS_MASK changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        PSID sid = &ace->SidStart;
        std::wstring text = SidText(sid);
        if ((ace->Mask & changes) != 0 && !Trusted(text) && text != kCreatorOwner)
            return {false, "can be written by " + AccountName(sid)};
    }
    return {};
}

FileTrust CheckPath(const std::wstring& wide) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD code = GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &dacl, nullptr, &descriptor);
    if (code != ERROR_SUCCESS)
        return {false, "cannot be checked (" + GetSystemErrorText(static_cast<int>(code)) + ")"};
    FileTrust trust = Judge(owner, dacl);
    LocalFree(descriptor);
    return trust;
}

}  // namespace

FileTrust CheckFileTrust(const std::string& path) {
    std::wstring wide = Widen(path);
    if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES)
        return {};
    if (IsLink(wide))
        return {false, "is a link"};
    return CheckPath(wide);
}

FileTrust CheckOwnerOf(intptr_t native) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD code = GetSecurityInfo(reinterpret_cast<HANDLE>(native), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                                 &descriptor);
    if (code != ERROR_SUCCESS)
        return {false, "cannot be checked (" + GetSystemErrorText(static_cast<int>(code)) + ")"};
    FileTrust trust;
    if (!Trusted(SidText(owner)))
        trust = {false, "is owned by " + AccountName(owner)};
    LocalFree(descriptor);
    return trust;
}

bool MakePrivateFolder(const std::string& path, bool othersRead, std::string* why) {
    std::wstring wide = Widen(path);
    std::wstring sddl = L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    std::wstring own = OwnUserSidText();
    if (!own.empty() && own != L"S-1-5-18")
        sddl += L"(A;OICI;FA;;;" + own + L")";
    if (othersRead)
        sddl += L"(A;OICI;FRFX;;;AU)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        *why = GetSystemErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    bool made = CreateDirectoryW(wide.c_str(), &security) != 0;
    DWORD code = GetLastError();
    bool ok = made;
    if (!made && code == ERROR_ALREADY_EXISTS) {
        // Someone may have made it first, with rights that let them in: only one of ours is
        // given our rights again; a link, or another's, is not used.
        if (IsLink(wide)) {
            *why = "is a link";
        } else {
            PSID owner = nullptr;
            PSECURITY_DESCRIPTOR current = nullptr;
            if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                      &owner, nullptr, nullptr, nullptr, &current) != ERROR_SUCCESS) {
                *why = "cannot be checked";
            } else if (!Trusted(SidText(owner))) {
                *why = "is owned by " + AccountName(owner);
            } else {
                BOOL present = FALSE, defaulted = FALSE;
                PACL dacl = nullptr;
                GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
                DWORD set = SetNamedSecurityInfoW(
                    wide.data(), SE_FILE_OBJECT,
                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                    nullptr, dacl, nullptr);
                ok = set == ERROR_SUCCESS;
                if (!ok)
                    *why = GetSystemErrorText(static_cast<int>(set));
            }
            LocalFree(current);
        }
    } else if (!made) {
        *why = GetSystemErrorText(static_cast<int>(code));
    }
    LocalFree(descriptor);
    return ok;
}

}  // namespace tolvi::platform
