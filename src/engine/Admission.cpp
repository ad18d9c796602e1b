// The admission rule.
#include "engine/Admission.h"

#include <cstring>

namespace tolvi {
namespace {
const char kListDelimiters[] = " ;";
}

bool IsDelimiter(const char* delimiters, char c) {
    return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

bool IsClientInList(const std::string& clientList, const std::string& address) {
    size_t i = 0;
    const size_t n = clientList.size();
    while (i < n) {
        while (i < n && IsDelimiter(kListDelimiters, clientList[i]))
            ++i;
        size_t start = i;
        while (i < n && !IsDelimiter(kListDelimiters, clientList[i]))
            ++i;
        if (i > start && clientList.compare(start, i - start, address) == 0)
            return true;
    }
    return false;
}

bool IsLocalClient(const std::string& address) {
    return address == kLocalClient || address == kLocalClientV6;
}

bool IsClientAdmitted(const std::string& address, bool allowNonLocal, bool listOnly,
                      const std::string& clientList) {
    bool local = IsLocalClient(address);
    if (!allowNonLocal && !local)
        return false;
    if (listOnly && !local && !IsClientInList(clientList, address))
        return false;
    return true;
}

}  // namespace tolvi
