// A configuration key in memory, with the failures the registry can have.
#pragma once
#include <map>
#include <string>

#include "platform/KeyValueStore.h"

namespace tolvi::test {

class MemoryStore : public platform::KeyValueStore {
  public:
    struct Value {
        uint32_t type;
        std::string bytes;
    };

    bool OpenForRead() override { return open_ = exists; }
    bool OpenForWrite() override {
        if (!exists && !canCreate)
            return false;
        return open_ = exists = true;
    }
    bool SetValue(const std::string& name, uint32_t type, const void* data, size_t size) override {
        if (!open_ || writesLeft == 0)
            return false;
        if (writesLeft > 0)
            --writesLeft;
        values[name] = Value{type, std::string(static_cast<const char*>(data), size)};
        return true;
    }
    bool QueryValue(const std::string& name, uint32_t* type, void* buffer, size_t* size) override {
        auto it = values.find(name);
        if (!open_ || it == values.end() || it->second.bytes.size() > *size)
            return false;
        it->second.bytes.copy(static_cast<char*>(buffer), it->second.bytes.size());
        *type = it->second.type;
        *size = it->second.bytes.size();
        return true;
    }
    bool DeleteValue(const std::string& name) override { return open_ && values.erase(name) > 0; }
    void Close() override { open_ = false; }

    std::map<std::string, Value> values;
    bool exists = false;
    bool canCreate = true;
    int writesLeft = -1;  // writes that succeed before every further one fails; -1 for no limit

  private:
    bool open_ = false;
};

}  // namespace tolvi::test
