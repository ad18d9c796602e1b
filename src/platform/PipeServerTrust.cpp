// The rule of whom a pipe's server may be, apart from how each system names its users.
#include "platform/PipeServerTrust.h"

#include <algorithm>

namespace tolvi::platform {

namespace {
const char kSystem[] = "S-1-5-18";
const char kAdministrators[] = "S-1-5-32-544";
// Hyper-V runs each virtual machine's worker process as an account of its own under
// NT VIRTUAL MACHINE: S-1-5-83-1-..., members of S-1-5-83-0.
const char kVirtualMachines[] = "S-1-5-83-";
}  // namespace

bool IsTrustedServer(const std::string& userSid, const std::vector<std::string>& groupSids,
                     const std::string& ownSid) {
    if (userSid.empty())
        return false;
    if (userSid == kSystem || userSid == ownSid || userSid.rfind(kVirtualMachines, 0) == 0)
        return true;
    return std::find(groupSids.begin(), groupSids.end(), kAdministrators) != groupSids.end();
}

bool IsTrustedServerUid(uint32_t serverUid, uint32_t ownUid) {
    return serverUid == 0 || serverUid == ownUid;
}

std::string UntrustedServerText(const std::string& pipeName, const PipeServerCheck& check) {
    return pipeName + " is served by " + check.account + ", who is not trusted";
}

}  // namespace tolvi::platform
