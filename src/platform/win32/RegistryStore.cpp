// The configuration store's key in the Windows registry (ADVAPI32).
#include "platform/RegistryStore.h"

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

const char kPerUserClasses[] = "Software\\Classes\\";

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

// The view flag added to every access. Interface and SOFTWARE are redirected under WOW64, so
// without it a 32-bit and a 64-bit build would each see a configuration of their own; the
// 32-bit view is the one that every build, and every version of Windows, can reach.
REGSAM ViewOf(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? 0 : KEY_WOW64_32KEY;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The store's texts are UTF-8 bytes; the registry keeps them as UTF-16, as it always has
// (the ANSI calls of earlier builds converted them too), so what those wrote reads the same.
std::string WideBytes(const void* data, size_t size) {
    std::wstring wide = Widen(std::string(static_cast<const char*>(data), size));
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::string Utf8Bytes(const std::string& wideBytes) {
    return Narrow(reinterpret_cast<const wchar_t*>(wideBytes.data()),
                  static_cast<int>(wideBytes.size() / sizeof(wchar_t)));
}

SysError Check(LONG result) {
    return result == ERROR_SUCCESS ? SysError{} : Win32Error(static_cast<DWORD>(result));
}

// Removes root\path with its values and sub keys from one view; true when it is not there.
bool DeleteKey(HKEY root, const std::string& path, REGSAM view) {
    UniqueRegistryKey key;
    LONG opened = RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_ALL_ACCESS | view, key.put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    RegDeleteTreeW(key.get(), nullptr);
    key.reset();
    return RegDeleteKeyExW(root, Widen(path).c_str(), view, 0) == ERROR_SUCCESS;
}

class RegistryStore : public KeyValueStore {
  public:
    RegistryStore(RegistryRoot root, std::string subKey)
        : where(root), path(std::move(subKey)) {}

    SysError OpenForRead() override {
        Close();
        SysError opened = Open(KEY_READ);
        if (!opened.Failed() || where != RegistryRoot::ClassesRoot)
            return opened;
        // A configuration that an earlier 64-bit build wrote into the 64-bit view: move it
        // over once, or read it where it is when it cannot be moved.
        if (MoveFrom64BitView())
            return Open(KEY_READ);
        return Check(RegOpenKeyExW(HKEY_CLASSES_ROOT, Widen(path).c_str(), 0,
                                   KEY_READ | KEY_WOW64_64KEY, openKey.put()));
    }

    SysError OpenForWrite() override {
        Close();
        if (!Open(KEY_ALL_ACCESS).Failed())
            return {};
        SysError created = Create(RootKey(where), path);
        if (!created.Failed() || where != RegistryRoot::ClassesRoot)
            return created;
        return Create(HKEY_CURRENT_USER, kPerUserClasses + path);
    }

    SysError SetValue(const std::string& name, uint32_t type, const void* data,
                      size_t size) override {
        if (!openKey)
            return Win32Error(ERROR_INVALID_HANDLE);
        std::string bytes = IsText(type) ? WideBytes(data, size)
                                         : std::string(static_cast<const char*>(data), size);
        return Check(RegSetValueExW(openKey.get(), Widen(name).c_str(), 0, type,
                                    reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size())));
    }

    SysError QueryValue(const std::string& name, StoredValue* value) override {
        if (!openKey)
            return Win32Error(ERROR_INVALID_HANDLE);
        // Asked for its size first, then read; a value that grows in between is asked again.
        std::wstring wideName = Widen(name);
        for (;;) {
            DWORD type = 0, size = 0;
            LONG r = RegQueryValueExW(openKey.get(), wideName.c_str(), nullptr, &type, nullptr, &size);
            if (r != ERROR_SUCCESS)
                return Check(r);
            std::string bytes(size, '\0');
            r = RegQueryValueExW(openKey.get(), wideName.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(&bytes[0]), &size);
            if (r == ERROR_MORE_DATA)
                continue;
            if (r != ERROR_SUCCESS)
                return Check(r);
            bytes.resize(size);
            *value = StoredValue{name, type, IsText(type) ? Utf8Bytes(bytes) : std::move(bytes)};
            return {};
        }
    }

    SysError ListValues(std::vector<StoredValue>* values) override {
        values->clear();
        if (!openKey)
            return Win32Error(ERROR_INVALID_HANDLE);
        DWORD count = 0, longestName = 0;
        LONG r = RegQueryInfoKeyW(openKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &count, &longestName, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            return Check(r);
        std::vector<wchar_t> name(longestName + 2);
        for (DWORD i = 0; i < count; ++i) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumValueW(openKey.get(), i, name.data(), &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
                continue;
            }
            StoredValue value;
            if (!QueryValue(Narrow(name.data(), static_cast<int>(length)), &value).Failed())
                values->push_back(std::move(value));
        }
        return {};
    }

    SysError DeleteValue(const std::string& name) override {
        if (!openKey)
            return Win32Error(ERROR_INVALID_HANDLE);
        return Check(RegDeleteValueW(openKey.get(), Widen(name).c_str()));
    }

    void Close() override { openKey.reset(); }

  private:
    SysError Open(REGSAM access) {
        return Check(RegOpenKeyExW(RootKey(where), Widen(path).c_str(), 0,
                                   access | ViewOf(where), openKey.put()));
    }

    SysError Create(HKEY root, const std::string& path) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        DWORD disposition = 0;
        return Check(RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS | ViewOf(where), &sa, openKey.put(),
                                     &disposition));
    }

    // Copies the 64-bit view's key into a new key of the 32-bit view and removes the old one.
    // A copy that fails is taken back, so that the old key stays the only one and is read.
    bool MoveFrom64BitView() {
        UniqueRegistryKey old;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Widen(path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                          old.put()) != ERROR_SUCCESS) {
            return false;
        }
        bool copied = !OpenForWrite().Failed() &&
                      RegCopyTreeW(old.get(), nullptr, openKey.get()) == ERROR_SUCCESS;
        old.reset();
        Close();
        if (!copied) {
            DeleteRegistryKey(where, path);
            return false;
        }
        DeleteKey(HKEY_CURRENT_USER, kPerUserClasses + path, KEY_WOW64_64KEY);
        DeleteKey(HKEY_CLASSES_ROOT, path, KEY_WOW64_64KEY);
        return true;
    }

    RegistryRoot where;
    std::string path;
    UniqueRegistryKey openKey;
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
