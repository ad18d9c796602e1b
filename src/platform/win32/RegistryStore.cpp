// The configuration store's key in the Windows registry (ADVAPI32).
#include "platform/RegistryStore.h"

#include <windows.h>

namespace tolvi::platform {
namespace {

class RegistryStore : public KeyValueStore {
  public:
    RegistryStore(RegistryRoot root, std::string subKey)
        : root_(root), subKey_(std::move(subKey)) {}
    ~RegistryStore() override { Close(); }

    bool OpenForRead() override {
        Close();
        return RegOpenKeyExA(Root(), subKey_.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
    }

    bool OpenForWrite() override {
        Close();
        if (RegOpenKeyExA(Root(), subKey_.c_str(), 0, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS) {
            return true;
        }
        if (Create(Root(), subKey_))
            return true;
        return root_ == RegistryRoot::ClassesRoot &&
               Create(HKEY_CURRENT_USER, "Software\\Classes\\" + subKey_);
    }

    bool SetValue(const std::string& name, uint32_t type, const void* data, size_t size) override {
        return key_ && RegSetValueExA(key_, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                      static_cast<DWORD>(size)) == ERROR_SUCCESS;
    }

    bool QueryValue(const std::string& name, uint32_t* type, void* buffer, size_t* size) override {
        DWORD t = 0, n = static_cast<DWORD>(*size);
        if (!key_ || RegQueryValueExA(key_, name.c_str(), nullptr, &t, static_cast<BYTE*>(buffer),
                                      &n) != ERROR_SUCCESS) {
            return false;
        }
        *type = t;
        *size = n;
        return true;
    }

    bool DeleteValue(const std::string& name) override {
        return key_ && RegDeleteValueA(key_, name.c_str()) == ERROR_SUCCESS;
    }

    void Close() override {
        if (key_)
            RegCloseKey(key_);
        key_ = nullptr;
    }

  private:
    HKEY Root() const {
        return root_ == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
    }

    bool Create(HKEY root, const std::string& path) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        DWORD disposition = 0;
        return RegCreateKeyExA(root, path.c_str(), 0, const_cast<char*>(""), 0, KEY_ALL_ACCESS, &sa,
                               &key_, &disposition) == ERROR_SUCCESS;
    }

    RegistryRoot root_;
    std::string subKey_;
    HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<KeyValueStore> OpenRegistryStore(RegistryRoot root, const std::string& subKey) {
    return std::make_unique<RegistryStore>(root, subKey);
}

}  // namespace tolvi::platform
