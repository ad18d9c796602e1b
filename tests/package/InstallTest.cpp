// The installer in a wine prefix made fresh for it: a silent per-user install, the installed
// program started with the configuration a user already had, and a silent uninstall while it
// runs, which must take everything of its own and leave the configuration.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "config/AutoStart.h"
#include "config/ConfigurationStore.h"
#include "platform/RegistryStore.h"
#include "support/Settings.h"
#include "support/TestClient.h"

namespace tolvi::test {
namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tolvi";
const char kTitle[] = "Named Pipe TCP Proxy";

std::string WindowsPath(const char* built) {
    std::string path = std::string("Z:") + built;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

std::string Folder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a command line; its process handle, or nullptr.
HANDLE Start(std::string commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// The exit code of a process that ends within timeoutMs, else -1; the handle is closed.
int Finish(HANDLE process, int timeoutMs) {
    if (!process)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

// A text value under HKEY_CURRENT_USER; "<missing>" when there is none.
std::string UserText(const char* key, const char* name) {
    char data[1024] = "";
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    return data;
}

bool UninstallKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Where the Start menu shortcut leads.
std::string ShortcutTarget(const std::string& link) {
    IShellLinkA* shellLink = nullptr;
    std::string target;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shellLink)))) {
        IPersistFile* file = nullptr;
        std::wstring wide(link.begin(), link.end());
        if (SUCCEEDED(
                shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            char path[MAX_PATH] = "";
            if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
                SUCCEEDED(shellLink->GetPath(path, sizeof path, nullptr, 0))) {
                target = path;
            }
            file->Release();
        }
        shellLink->Release();
    }
    return target;
}

// The main window of the process pid, once it has its menu and is shown.
HWND ProgramWindow(DWORD pid, int timeoutMs) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{pid, nullptr};
    int64_t end = NowMs() + timeoutMs;
    while (NowMs() < end) {
        EnumWindows(
            [](HWND hwnd, LPARAM l) -> BOOL {
                auto* s = reinterpret_cast<Search*>(l);
                char title[128] = "";
                DWORD owner = 0;
                GetWindowTextA(hwnd, title, sizeof title);
                GetWindowThreadProcessId(hwnd, &owner);
                if (owner == s->pid && std::string(title) == kTitle && GetMenu(hwnd) &&
                    IsWindowVisible(hwnd)) {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(100);
    }
    return nullptr;
}

TEST(Installer, InstallsForTheUserRunsAndUninstallsKeepingTheConfiguration) {
    CoInitialize(nullptr);
    const std::string dir = Folder(CSIDL_LOCAL_APPDATA) + "\\Programs\\tolvi";
    const std::string program = dir + "\\tolvi.exe";
    const std::string shortcut = Folder(CSIDL_PROGRAMS) + "\\tolvi.lnk";
    ASSERT_FALSE(Exists(dir)) << "the prefix is not fresh";

    // A configuration the user already has, from an earlier install or the zip.
    auto store =
        platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
    ASSERT_EQ(
        SaveConfiguration(*store, {SettingsFor("\\\\.\\pipe\\kept-over-installs", "2381", "kept")},
                          AppOptions{false, true}),  // exit to tray
        SaveResult::Saved);

    int64_t started = NowMs();
    ASSERT_EQ(Finish(Start("\"" + WindowsPath(TOLVI_INSTALLER) + "\" /S"), 60000), 0);
    std::printf("silent install: %lld ms\n", static_cast<long long>(NowMs() - started));

    for (const char* file :
         {"tolvi.exe", "tolvi-relay.exe", "tolvi.html", "README.md", "LICENSE", "uninstall.exe"}) {
        EXPECT_TRUE(Exists(dir + "\\" + file)) << file;
    }
    EXPECT_TRUE(Exists(shortcut));
    EXPECT_EQ(ShortcutTarget(shortcut), program);
    EXPECT_EQ(UserText(kUninstallKey, "DisplayVersion"), TOLVI_VERSION);
    EXPECT_EQ(UserText(kUninstallKey, "Publisher"), "tolvi contributors");
    EXPECT_NE(UserText(kUninstallKey, "DisplayName").find("tolvi"), std::string::npos);
    EXPECT_EQ(UserText(kUninstallKey, "DisplayIcon"), program + ",0");
    EXPECT_EQ(UserText(kUninstallKey, "UninstallString"), "\"" + dir + "\\uninstall.exe\"");
    EXPECT_EQ(UserText(kUninstallKey, "QuietUninstallString"), "\"" + dir + "\\uninstall.exe\" /S");
    DWORD sizeKb = 0, size = sizeof sizeKb;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, kUninstallKey, "EstimatedSize", RRF_RT_REG_DWORD,
                           nullptr, &sizeKb, &size),
              ERROR_SUCCESS);
    EXPECT_GT(sizeKb, 100u) << "the programs' size in KB";

    // The installed program starts and finds the configuration.
    PROCESS_INFORMATION pi{};
    auto startProgram = [&] {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string command = "\"" + program + "\"";
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                            &si, &pi)) {
            return HWND{};
        }
        CloseHandle(pi.hThread);
        return ProgramWindow(pi.dwProcessId, 15000);
    };
    HWND window = startProgram();
    ASSERT_NE(window, nullptr);
    HWND list = GetDlgItem(GetDlgItem(window, 59648), 1000);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);

    // Installing again over the running program (an update) ends it first, so that its file
    // can be replaced; with "Minimize to tray on exit" set that takes two closes.
    ASSERT_EQ(Finish(Start("\"" + WindowsPath(TOLVI_INSTALLER) + "\" /S"), 60000), 0);
    EXPECT_EQ(Finish(pi.hProcess, 5000), 0) << "the running program was asked to end";
    ASSERT_TRUE(Exists(program));

    window = startProgram();
    ASSERT_NE(window, nullptr);
    // Its start-with-Windows entry, written as its Settings writes it.
    auto runKey = platform::OpenRegistryStore(platform::RegistryRoot::CurrentUser, kRunKey);
    RegisterAutoStart(*runKey, true, &program);
    ASSERT_EQ(UserText(kRunKey, kRunValueName), AutoStartCommand(program));

    // The uninstaller hands itself over to a copy in the temporary folder and ends at once;
    // the copy ends the running program before it removes its files.
    started = NowMs();
    ASSERT_EQ(Finish(Start("\"" + dir + "\\uninstall.exe\" /S"), 30000), 0);
    EXPECT_TRUE(WaitUntil([&] { return !UninstallKeyExists() && !Exists(dir); }, 30000));
    std::printf("silent uninstall: %lld ms\n", static_cast<long long>(NowMs() - started));
    EXPECT_EQ(Finish(pi.hProcess, 5000), 0) << "the running program was asked to end";

    EXPECT_FALSE(Exists(program));
    EXPECT_FALSE(Exists(dir)) << "the folder holds nothing else";
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(UninstallKeyExists());
    EXPECT_EQ(UserText(kRunKey, kRunValueName), "<missing>");

    store = platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
    StoredConfiguration kept = LoadConfiguration(*store, AppOptions{});
    ASSERT_EQ(kept.connectors.size(), 1u) << "the configuration stays for the next install";
    EXPECT_EQ(kept.connectors[0].pipeName, "\\\\.\\pipe\\kept-over-installs");
    CoUninitialize();
}

}  // namespace
}  // namespace tolvi::test
