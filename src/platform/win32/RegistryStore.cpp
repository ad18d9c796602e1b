// The configuration store's key in the Windows registry (ADVAPI32).
#include "platform/RegistryStore.h"

#include <windows.h>

namespace tolvi::platform {
namespace {

const char kPerUserClasses[] = "Software\\Classes\\";

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

// The view flag added to every access. Interface is redirected under WOW64, so without it a
// 32-bit and a 64-bit build would each see a configuration of their own; the 32-bit view is
// the one that every build, and every version of Windows, can reach.
REGSAM ViewOf(RegistryRoot root) {
    return root == RegistryRoot::ClassesRoot ? KEY_WOW64_32KEY : 0;
}

// Removes root\path with its values and sub keys from one view; true when it is not there.
bool DeleteKey(HKEY root, const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    return RegDeleteKeyExA(root, path.c_str(), view, 0) == ERROR_SUCCESS;
}

class RegistryStore : public KeyValueStore {
  public:
    RegistryStore(RegistryRoot root, std::string subKey)
        : root_(root), subKey_(std::move(subKey)) {}
    ~RegistryStore() override { Close(); }

    bool OpenForRead() override {
        Close();
        if (Open(KEY_READ))
            return true;
        if (root_ != RegistryRoot::ClassesRoot)
            return false;
        // A configuration that an earlier 64-bit build wrote into the 64-bit view: move it
        // over once, or read it where it is when it cannot be moved.
        if (MoveFrom64BitView())
            return Open(KEY_READ);
        return RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey_.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                             &key_) == ERROR_SUCCESS;
    }

    bool OpenForWrite() override {
        Close();
        if (Open(KEY_ALL_ACCESS))
            return true;
        if (Create(RootKey(root_), subKey_))
            return true;
        return root_ == RegistryRoot::ClassesRoot &&
               Create(HKEY_CURRENT_USER, kPerUserClasses + subKey_);
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
    bool Open(REGSAM access) {
        return RegOpenKeyExA(RootKey(root_), subKey_.c_str(), 0, access | ViewOf(root_), &key_) ==
               ERROR_SUCCESS;
    }

    bool Create(HKEY root, const std::string& path) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        DWORD disposition = 0;
        return RegCreateKeyExA(root, path.c_str(), 0, const_cast<char*>(""), 0,
                               KEY_ALL_ACCESS | ViewOf(root_), &sa, &key_,
                               &disposition) == ERROR_SUCCESS;
    }

    // Copies the 64-bit view's key into a new key of the 32-bit view and removes the old one.
    // A copy that fails is taken back, so that the old key stays the only one and is read.
    bool MoveFrom64BitView() {
        HKEY old = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey_.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                          &old) != ERROR_SUCCESS) {
            return false;
        }
        bool copied = OpenForWrite() && RegCopyTreeA(old, nullptr, key_) == ERROR_SUCCESS;
        RegCloseKey(old);
        Close();
        if (!copied) {
            DeleteRegistryKey(root_, subKey_);
            return false;
        }
        DeleteKey(HKEY_CURRENT_USER, kPerUserClasses + subKey_, KEY_WOW64_64KEY);
        DeleteKey(HKEY_CLASSES_ROOT, subKey_, KEY_WOW64_64KEY);
        return true;
    }

    RegistryRoot root_;
    std::string subKey_;
    HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<KeyValueStore> OpenRegistryStore(RegistryRoot root, const std::string& subKey) {
    return std::make_unique<RegistryStore>(root, subKey);
}

bool DeleteRegistryKey(RegistryRoot root, const std::string& subKey) {
    REGSAM view = ViewOf(root);
    // The per-user copy first: HKEY_CLASSES_ROOT shows it in front of the machine's.
    bool perUserGone = root != RegistryRoot::ClassesRoot ||
                       DeleteKey(HKEY_CURRENT_USER, kPerUserClasses + subKey, view);
    return DeleteKey(RootKey(root), subKey, view) && perUserGone;
}

}  // namespace tolvi::platform
