// A configuration key in memory, with the failures the registry can have.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/KeyValueStore.h"

namespace tolvi::test {

class MemoryStore : public platform::KeyValueStore {
  public:
    struct Value {
        uint32_t type;
        std::string bytes;
    };

    platform::SysError OpenForRead() override {
        open = exists;
        return open ? platform::SysError{} : Failure(2);  // ERROR_FILE_NOT_FOUND
    }
    platform::SysError OpenForWrite() override {
        if (!exists && !canCreate)
            return Failure(5);  // ERROR_ACCESS_DENIED
        open = exists = true;
        return {};
    }
    platform::SysError SetValue(const std::string& name, uint32_t type, const void* data,
                                size_t size) override {
        if (!open || writesLeft == 0 || name == failingValue)
            return Failure(5);
        if (writesLeft > 0)
            --writesLeft;
        values[name] = Value{type, std::string(static_cast<const char*>(data), size)};
        return {};
    }
    platform::SysError QueryValue(const std::string& name, platform::StoredValue* value) override {
        auto it = values.find(name);
        if (!open || it == values.end())
            return Failure(2);
        *value = platform::StoredValue{name, it->second.type, it->second.bytes};
        return {};
    }
    platform::SysError ListValues(std::vector<platform::StoredValue>* list) override {
        list->clear();
        if (!open)
            return Failure(6);  // ERROR_INVALID_HANDLE
        for (const auto& v : values)
            list->push_back(platform::StoredValue{v.first, v.second.type, v.second.bytes});
        return {};
    }
    platform::SysError DeleteValue(const std::string& name) override {
        if (name == failingValue)
            return Failure(5);
        return open && values.erase(name) > 0 ? platform::SysError{} : Failure(2);
    }
    void Close() override { open = false; }

    // Sets a value as the registry would hold it: text and one NUL, in the store's own type.
    void PutText(const std::string& name, const std::string& text,
                 uint32_t type = platform::kTypeMultiString) {
        values[name] = Value{type, text + '\0'};
        exists = true;
    }

    std::map<std::string, Value> values;
    bool exists = false;
    bool canCreate = true;
    int writesLeft = -1;  // writes that succeed before every further one fails; -1 for no limit
    std::string failingValue;  // a value that can be neither written nor removed

  private:
    static platform::SysError Failure(int code) {
        return platform::SysError{code, platform::ErrorKind::Other};
    }
    bool open = false;
};

}  // namespace tolvi::test
