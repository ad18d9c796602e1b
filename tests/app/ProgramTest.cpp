// The real tolvi.exe, driven from another process as a user would: stored connectors in the
// registry, its window read through the list control, a second start, the tray start.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/SharedWindow.h"
#include "config/ConfigurationStore.h"
#include "platform/RegistryStore.h"
#include "platform/win32/WideText.h"
#include "resource.h"
#include "support/Settings.h"
#include "support/LiveConnector.h"
#include "ui/WindowTestSupport.h"

namespace tolvi::test {
namespace {

const char kTitle[] = "Named Pipe TCP Proxy";

std::string ProgramPath() {
    std::string path = "Z:" TOLVI_EXE;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

// Stored connectors, in the order the program is to list them.
struct Rows {
    void Add(const std::string& pipe, const std::string& port, const std::string& description) {
        rows.push_back(SettingsFor(pipe, port, description));
    }
    std::vector<ConnectorSettings> rows;
};

void StoreConfiguration(const Rows& rows) {
    platform::DeleteRegistryKey(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
    if (rows.rows.empty())
        return;
    auto store =
        platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
    ASSERT_EQ(SaveConfiguration(*store, rows.rows, AppOptions{}), SaveResult::Saved);
}

uint16_t FreePort() {
    uint16_t port = 0;
    platform::TcpSocket probe = HoldPortExclusively(&port);
    return port;
}

// One run of the program.
class Program {
  public:
    ~Program() { Stop(); }

    bool Start(const std::string& arguments = "") {
        std::string command =
            "\"" + ProgramPath() + "\"" + (arguments.empty() ? "" : " " + arguments);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        startedAt = NowMs();
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            return false;
        }
        return true;
    }

    // The program's main window once start-up has given it its menu and show state.
    HWND ReadyWindow(int timeoutMs = 15000) {
        HWND hwnd = Window(timeoutMs);
        WaitUntil([&] { return hwnd && GetMenu(hwnd) && IsWindowVisible(hwnd); }, timeoutMs);
        return hwnd;
    }

    // The program's main window, once it exists.
    HWND Window(int timeoutMs = 15000) {
        int64_t end = NowMs() + timeoutMs;
        while (!window && NowMs() < end) {
            EnumWindows(
                [](HWND hwnd, LPARAM l) -> BOOL {
                    auto* self = reinterpret_cast<Program*>(l);
                    char title[128] = "";
                    DWORD pid = 0;
                    GetWindowTextA(hwnd, title, sizeof title);
                    GetWindowThreadProcessId(hwnd, &pid);
                    if (pid == self->pi.dwProcessId && std::string(title) == kTitle) {
                        self->window = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            if (!window)
                Sleep(50);
        }
        return window;
    }

    // Waits for the process to end; its exit code, or -1 when it still runs.
    int WaitExit(int timeoutMs) {
        if (!pi.hProcess)
            return -1;
        if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return static_cast<int>(code);
    }

    void Stop() {
        if (!pi.hProcess)
            return;
        if (window)
            PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitExit(5000) < 0)
            TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        pi = PROCESS_INFORMATION{};
    }

    HWND View() { return GetDlgItem(Window(), 59648); }
    HWND List() { return GetDlgItem(View(), 1000); }

    int RowCount() { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    // A cell's text, read through memory of the program's own, in UTF-16 as the list keeps it.
    std::string Cell(int row, int column) {
        struct Remote {
            LVITEMW item;
            wchar_t text[512];
        };
        auto* remote = static_cast<Remote*>(
            VirtualAllocEx(pi.hProcess, nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
        Remote local{};
        local.item.mask = LVIF_TEXT | LVIF_IMAGE;
        local.item.iItem = row;
        local.item.iSubItem = column;
        local.item.pszText = remote->text;
        local.item.cchTextMax = 512;
        WriteProcessMemory(pi.hProcess, remote, &local, sizeof local, nullptr);
        SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(pi.hProcess, remote, &local, sizeof local, nullptr);
        VirtualFreeEx(pi.hProcess, remote, 0, MEM_RELEASE);
        local.text[511] = 0;
        return platform::Narrow(local.text);
    }

    int Picture(int row) {
        auto* remote = static_cast<LVITEMA*>(
            VirtualAllocEx(pi.hProcess, nullptr, sizeof(LVITEMA), MEM_COMMIT, PAGE_READWRITE));
        LVITEMA local{};
        local.mask = LVIF_IMAGE;
        local.iItem = row;
        WriteProcessMemory(pi.hProcess, remote, &local, sizeof local, nullptr);
        SendMessageA(List(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(pi.hProcess, remote, &local, sizeof local, nullptr);
        VirtualFreeEx(pi.hProcess, remote, 0, MEM_RELEASE);
        return local.iImage;
    }

    // Whether the cell shows text, the window asked for its refresh until it does.
    bool CellBecomes(int row, int column, const std::string& text, int timeoutMs = 3000) {
        return RefreshUntil(
            View(), [&] { return Cell(row, column) == text; }, timeoutMs);
    }

    PROCESS_INFORMATION pi{};
    HWND window = nullptr;
    int64_t startedAt = 0;
};

int CountMainWindows() {
    int count = 0;
    EnumWindows(
        [](HWND hwnd, LPARAM l) -> BOOL {
            char title[128] = "";
            GetWindowTextA(hwnd, title, sizeof title);
            if (std::string(title) == kTitle)
                ++*reinterpret_cast<int*>(l);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(Program, StartsWithItsStoredConnectorsAndRelays) {
    uint16_t taken = 0;
    platform::TcpSocket holder = HoldPortExclusively(&taken);
    ASSERT_TRUE(holder.IsValid());
    std::string served = UniquePipeName();
    tools::PipeServer pipe(served);
    std::string error;
    ASSERT_TRUE(pipe.Listen(&error)) << error;
    uint16_t port = FreePort();

    Rows rows;
    rows.Add(served, std::to_string(port), "served");
    rows.Add("\\\\.\\pipe\\taken-port", std::to_string(taken), "port taken");
    rows.Add("\\\\.\\pipe\\nobody-serves-this", std::to_string(FreePort()),
             "Prüfstand 控制台 — COM1");
    StoreConfiguration(rows);

    Program program;
    ASSERT_TRUE(program.Start());
    HWND window = program.ReadyWindow();
    ASSERT_NE(window, nullptr);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 685);
    EXPECT_EQ(r.bottom - r.top, 400);
    EXPECT_TRUE(IsWindowVisible(window));
    // Wine keeps menus per process, so only the menu's presence is seen from here; its
    // items are checked on the resource itself.
    EXPECT_NE(GetMenu(window), nullptr);

    ASSERT_EQ(program.RowCount(), 3);
    EXPECT_EQ(program.Cell(0, 0), served);
    EXPECT_EQ(program.Cell(1, 1), std::to_string(taken));
    EXPECT_EQ(program.Cell(2, 6), "Prüfstand 控制台 — COM1");  // UTF-16 in the key, UTF-8 inside
    EXPECT_TRUE(program.CellBecomes(0, 5, "Ready"));
    EXPECT_EQ(program.Cell(1, 5), "Error");
    EXPECT_TRUE(program.CellBecomes(2, 5, "Ready"));

    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(pipe.WaitClient(5000));
    std::string banner = kAttaching + kConnectedBanner;
    EXPECT_EQ(client.ReadCount(banner.size(), 5000), banner);
    ASSERT_TRUE(pipe.Write(std::string(3000, 'z').data(), 3000));
    EXPECT_EQ(client.ReadCount(3000, 5000).size(), 3000u);
    EXPECT_TRUE(program.CellBecomes(0, 3, "2.9 KB", 2500)) << program.Cell(0, 3);
    EXPECT_EQ(program.Cell(0, 5), "Connected");
    EXPECT_EQ(program.Cell(0, 2), "127.0.0.1");
    EXPECT_EQ(program.Picture(0), 1);
    EXPECT_EQ(program.Picture(1), 0);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitExit(5000), 0);
}

TEST(Program, SecondStartBringsTheFirstWindowBack) {
    StoreConfiguration(Rows{});
    Program first;
    ASSERT_TRUE(first.Start());
    HWND window = first.ReadyWindow();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, 2000));

    Program second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.WaitExit(10000), 0);
    std::printf("second start ended after %lld ms\n",
                static_cast<long long>(NowMs() - second.startedAt));
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(window); }, 2000)) << "not restored";
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(CountMainWindows(), 1);

    // The window is found in the session's own namespace, and only while the first runs.
    const std::string name = SharedWindowName(ProgramPath());
    EXPECT_EQ(name.rfind("Local\\", 0), 0u) << name;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    ASSERT_NE(mapping, nullptr) << name;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(uint32_t));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(*static_cast<uint32_t*>(view),
              static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)));
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    first.Stop();
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
}

TEST(Program, MinimizedSwitchStartsInTheTray) {
    StoreConfiguration(Rows{});
    Program program;
    ASSERT_TRUE(program.Start("/minimized"));
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return HasTrayIcon(window); }, 3000)) << "no tray icon";
    EXPECT_FALSE(IsWindowVisible(window));

    Program second;  // a second start leaves the hidden window hidden
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.WaitExit(10000), 0);
    Sleep(300);
    EXPECT_FALSE(IsWindowVisible(window));

    PostMessageA(window, WM_CLOSE, 0, 0);  // from the tray, a close ends the program
    EXPECT_EQ(program.WaitExit(5000), 0);
    EXPECT_FALSE(HasTrayIcon(window));
}

TEST(Program, CapitalMinimizedStartsVisible) {
    StoreConfiguration(Rows{});
    Program program;
    ASSERT_TRUE(program.Start("/Minimized"));
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 3000));
    EXPECT_FALSE(HasTrayIcon(window));
}

// The screen's DPI as wine takes it for every process that starts from now on; the value the
// prefix had comes back at the end of the scope.
class ScreenDpi {
  public:
    explicit ScreenDpi(DWORD dpi) {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        DWORD size = sizeof old;
        had = RegQueryValueExA(key, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old),
                               &size) == ERROR_SUCCESS;
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof dpi);
    }
    ~ScreenDpi() {
        if (had) {
            RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old),
                           sizeof old);
        } else {
            RegDeleteValueA(key, "LogPixels");
        }
        RegCloseKey(key);
    }

  private:
    static constexpr const char* kKey = "Control Panel\\Desktop";
    HKEY key = nullptr;
    DWORD old = 0;
    bool had = false;
};

// Lets this test see other windows in physical pixels rather than in the 96-DPI pixels that
// Windows and wine show a program without DPI awareness. False where that cannot be asked.
bool SeePhysicalPixels() {
    using SetContextFn = HANDLE(WINAPI*)(HANDLE);
    auto set = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
    if (!set)
        return false;
    HANDLE was = set(reinterpret_cast<HANDLE>(-4));  // per monitor, v2
    if (!was)
        was = set(reinterpret_cast<HANDLE>(-3));  // per monitor: all that wine 8 takes here
    return was != nullptr;
}

// Whether the window's process runs aware of each monitor's DPI (the manifest's request).
bool PerMonitorAware(HWND window) {
    using GetContextFn = HANDLE(WINAPI*)(HWND);
    using AwarenessFn = int(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto get = reinterpret_cast<GetContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    auto awareness = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    return get && awareness && awareness(get(window)) == 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
}

TEST(Program, IsDpiAwareAndScalesItsPixelSizesOnADenserScreen) {
    StoreConfiguration(Rows{});
    ScreenDpi screen(144);
    Program program;
    ASSERT_TRUE(program.Start());
    HWND window = program.ReadyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PerMonitorAware(window));

    ASSERT_TRUE(SeePhysicalPixels());
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 1028);  // 685 x 400 at 150 per cent
    EXPECT_EQ(r.bottom - r.top, 600);
    HWND list = program.List();
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 195);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 5, 0), 105);
    RECT client;
    GetClientRect(GetParent(list), &client);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 6, 0), client.right - 729);
    HWND toolBar = GetDlgItem(window, ID_VIEW_TOOLBAR);
    DWORD button = static_cast<DWORD>(SendMessageA(toolBar, TB_GETBUTTONSIZE, 0, 0));
    EXPECT_GE(LOWORD(button), 24 + 6) << "the 24-pixel pictures and their padding";
    EXPECT_GE(HIWORD(button), 24 + 6);
}

}  // namespace
}  // namespace tolvi::test
