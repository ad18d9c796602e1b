// The service's own folders' rights, with the Win32 security calls.
#include "service/ServiceFolders.h"

#include <windows.h>
#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include "platform/ErrorText.h"
#include "platform/FileTrust.h"
#include "platform/win32/WideText.h"

namespace tolvi::service {

namespace {

// Owner the administrators; full control for the system and the administrators, inherited by
// what the folder holds; nobody else; nothing from above.
const wchar_t kAdministratorsOnly[] = L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

bool Protect(const std::string& path, std::string* why) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        *why = platform::GetSystemErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    std::wstring wide = platform::Widen(path);
    DWORD result = SetNamedSecurityInfoW(
        wide.data(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        owner, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    if (result != ERROR_SUCCESS) {
        *why = platform::GetSystemErrorText(static_cast<int>(result));
        return false;
    }
    return true;
}

}  // namespace

std::string ServiceFolder() {
    std::string folder = "C:\\ProgramData";
    PWSTR known = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &known)))
        folder = platform::Narrow(known);
    CoTaskMemFree(known);
    return folder + "\\tolvi";
}

std::string ServiceAuditFile() {
    return ServiceFolder() + "\\ssh\\audit.jsonl";
}

std::string MachineRecordingsRoot() {
    return ServiceFolder() + "\\recordings";
}

bool MakeMachineRecordingsRoot(std::string* why) {
    std::string folder = MachineRecordingsRoot();
    if (folder.empty()) {
        *why = "Windows names no ProgramData folder";
        return false;
    }
    // The service's folder first, then its recordings' inside it, each for the system and the
    // administrators alone; a link or somebody else's folder in either place is not used.
    std::string parent = folder.substr(0, folder.rfind('\\'));
    std::string problem;
    if (!platform::MakePrivateFolder(parent, false, &problem) ||
        !platform::MakePrivateFolder(folder, false, &problem)) {
        *why = problem;
        return false;
    }
    return true;
}

bool ProtectForAdministrators(const std::string& path, std::string* why) {
    return Protect(path, why);
}

}  // namespace tolvi::service
