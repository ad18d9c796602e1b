// One registry key as the configuration store sees it: named values, each a type and bytes
// (a text's bytes in UTF-8).
// The registry implements it on Windows; the tests have one in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SysError.h"

namespace tolvi::platform {

constexpr uint32_t kTypeString = 1;       // REG_SZ
constexpr uint32_t kTypeDword = 4;        // REG_DWORD, four bytes, least significant first
constexpr uint32_t kTypeMultiString = 7;  // REG_MULTI_SZ
constexpr uint32_t kTypeQword = 11;       // REG_QWORD

struct StoredValue {
    std::string name;
    uint32_t type = 0;
    std::string bytes;
};

class KeyValueStore {
  public:
    virtual ~KeyValueStore() = default;
    // Opens the key for reading; fails when it does not exist or cannot be read.
    virtual SysError OpenForRead() = 0;
    // Opens the key with full access, creating it when it is missing.
    virtual SysError OpenForWrite() = 0;
    virtual SysError SetValue(const std::string& name, uint32_t type, const void* data,
                              size_t size) = 0;
    // Reads a value whole, however long it is; fails when it does not exist.
    virtual SysError QueryValue(const std::string& name, StoredValue* value) = 0;
    // Every value of the open key, in no particular order.
    virtual SysError ListValues(std::vector<StoredValue>* values) = 0;
    // Fails when the value does not exist or cannot be removed.
    virtual SysError DeleteValue(const std::string& name) = 0;
    virtual void Close() = 0;
};

}  // namespace tolvi::platform
