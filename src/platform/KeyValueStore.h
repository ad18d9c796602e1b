// One registry key as the configuration store sees it: named values, each a type and bytes.
// The registry implements it on Windows; the tests have one in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvi::platform {

constexpr uint32_t kTypeString = 1;       // REG_SZ
constexpr uint32_t kTypeMultiString = 7;  // REG_MULTI_SZ

class KeyValueStore {
  public:
    virtual ~KeyValueStore() = default;
    // Opens the key for reading; false when it does not exist or cannot be read.
    virtual bool OpenForRead() = 0;
    // Opens the key with full access, creating it when it is missing; false when neither works.
    virtual bool OpenForWrite() = 0;
    virtual bool SetValue(const std::string& name, uint32_t type, const void* data,
                          size_t size) = 0;
    // Copies a value's bytes into buffer. On entry *size is the buffer's capacity, on success
    // the number of bytes stored; false when the value is missing or does not fit.
    virtual bool QueryValue(const std::string& name, uint32_t* type, void* buffer,
                            size_t* size) = 0;
    // False when the value does not exist or cannot be removed.
    virtual bool DeleteValue(const std::string& name) = 0;
    virtual void Close() = 0;
};

}  // namespace tolvi::platform
