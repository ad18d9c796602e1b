// The configuration key in the registry's 32-bit view, where 32-bit and 64-bit builds of the
// program both find it: read back through the raw registry and through reg.exe, a program of
// its own, and the move of a key that an earlier 64-bit build left in the 64-bit view.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "config/ConfigurationStore.h"
#include "platform/RegistryStore.h"
#include "support/Settings.h"

namespace tolvi::test {
namespace {

// A value's text in one view ("<no key>" or "<missing>" when absent); the view is a
// KEY_WOW64_* flag, path a sub key of HKEY_CLASSES_ROOT.
std::string ReadValue(REGSAM view, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[300] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG read = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_MULTI_SZ ? std::string(data, size) : "<missing>";
}

bool KeyExists(REGSAM view, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void Remove64BitCopy() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kConfigurationKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                      &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
        RegDeleteKeyExA(HKEY_CLASSES_ROOT, kConfigurationKey, KEY_WOW64_64KEY, 0);
    }
}

// Runs a command line with its output in a file (wine's helpers keep pipes open); the exit
// code, or -1 when it did not start or end.
int RunTool(const std::string& commandLine, std::string* output) {
    char dir[MAX_PATH] = "", file[MAX_PATH] = "";
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "reg", 0, file);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::string command = commandLine;
    int code = -1;
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0) {
            DWORD exit = 0;
            GetExitCodeProcess(pi.hProcess, &exit);
            code = static_cast<int>(exit);
        }
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(out);
    output->clear();
    HANDLE in = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD n = 0;
    while (in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n)
        output->append(buffer, n);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    DeleteFileA(file);
    return code;
}

class RegistryView : public testing::Test {
  protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        platform::DeleteRegistryKey(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
        Remove64BitCopy();
    }
    static std::unique_ptr<platform::KeyValueStore> Store() {
        return platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
    }
};

TEST_F(RegistryView, SavedValuesAreWhereA32BitProgramLooksAndNowhereElse) {
    std::vector<ConnectorSettings> rows = {
        SettingsFor("\\\\.\\pipe\\com1", "2301", "first"),
        SettingsFor("\\\\.\\pipe\\vm two", "2302", "second", true, true, "10.0.0.5"),
    };
    ASSERT_EQ(SaveConfiguration(*Store(), rows, AppOptions{true, false}), SaveResult::Saved);

    const std::string nul(1, '\0');
    EXPECT_EQ(ReadValue(KEY_WOW64_32KEY, kConfigurationKey, "PipeNum"), "2" + nul);
    EXPECT_EQ(ReadValue(KEY_WOW64_32KEY, kConfigurationKey, "PipeName1"),
              "\\\\.\\pipe\\vm two" + nul);
    EXPECT_EQ(ReadValue(KEY_WOW64_32KEY, kConfigurationKey, "Acl1"), "10.0.0.5" + nul);
    // The path by which 64-bit tools such as regedit reach the 32-bit view.
    std::string redirected = std::string("Wow6432Node\\") + kConfigurationKey;
    EXPECT_EQ(ReadValue(KEY_WOW64_64KEY, redirected, "AutoStart"), "1" + nul);
    EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY, kConfigurationKey)) << "a second copy";

    // reg.exe reads the registry as a 32-bit program would with /reg:32.
    std::string out;
    std::string query = std::string("reg.exe query \"HKCR\\") + kConfigurationKey + "\" /v Port0";
    EXPECT_EQ(RunTool(query + " /reg:32", &out), 0) << out;
    // Only the value's name and type: wine's reg.exe drops the last character of a
    // multi-string that ends in one NUL, the form this key's values have.
    EXPECT_NE(out.find("Port0    REG_MULTI_SZ"), std::string::npos) << out;
    EXPECT_NE(RunTool(query + " /reg:64", &out), 0) << out;
}

TEST_F(RegistryView, AKeyLeftInThe64BitViewIsMovedOverAndLoads) {
    // What an earlier 64-bit build wrote: the values in the 64-bit view only.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kConfigurationKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::pair<const char*, std::string> values[] = {
        {"PipeNum", "1"},    {"PipeName0", "\\\\.\\pipe\\old"},
        {"Port0", "2399"},   {"Description0", "kept"},
        {"NonLocal0", "0"},  {"EnAcl0", "0"},
        {"Acl0", ""},        {"AutoStart", "0"},
        {"ExitToTray", "1"},
    };
    for (const auto& v : values) {
        RegSetValueExA(key, v.first, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(v.second.c_str()),
                       static_cast<DWORD>(v.second.size() + 1));
    }
    RegCloseKey(key);

    StoredConfiguration loaded = LoadConfiguration(*Store(), AppOptions{});
    ASSERT_EQ(loaded.connectors.size(), 1u);
    EXPECT_EQ(loaded.connectors[0].pipeName, "\\\\.\\pipe\\old");
    EXPECT_EQ(loaded.connectors[0].description, "kept");
    EXPECT_TRUE(loaded.options.ExitToTray);

    EXPECT_EQ(ReadValue(KEY_WOW64_32KEY, kConfigurationKey, "Port0"), std::string("2399", 5));
    EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY, kConfigurationKey));
    // the next start reads the moved key
    EXPECT_EQ(LoadConfiguration(*Store(), AppOptions{}).connectors.size(), 1u);
}

}  // namespace
}  // namespace tolvi::test
