// What Explorer and Windows read from the built program files, read back the same way: the
// version resource of tolvi.exe and tolvi-relay.exe, the About box's version beside it, and
// the manifests, which an activation context must accept.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"

namespace tolvi::test {
namespace {

std::string WindowsPath(const char* built) {
    std::string path = std::string("Z:") + built;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

const std::string kProgram = WindowsPath(TOLVI_EXE);
const std::string kRelay = WindowsPath(TOLVI_RELAY_EXE);

// A file's version resource as GetFileVersionInfo gives it to Explorer.
class VersionInfo {
  public:
    explicit VersionInfo(const std::string& path) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        data.resize(size);
        loaded = size > 0 && GetFileVersionInfoA(path.c_str(), 0, size, data.data());
    }
    // A text of the US English, Unicode block that the translation table names.
    std::string Text(const std::string& name) {
        struct Translation {
            WORD language, codePage;
        }* translation = nullptr;
        UINT size = 0;
        if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                            reinterpret_cast<void**>(&translation), &size) ||
            size < sizeof *translation) {
            return "<no translation>";
        }
        char block[64];
        snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation->language,
                 translation->codePage);
        char* text = nullptr;
        if (!VerQueryValueA(data.data(), (block + name).c_str(), reinterpret_cast<void**>(&text),
                            &size) ||
            !text) {
            return "<missing>";
        }
        return text;
    }
    const VS_FIXEDFILEINFO* Fixed() {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        return VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &size) &&
                       size >= sizeof *fixed
                   ? fixed
                   : nullptr;
    }

    bool loaded = false;

  private:
    std::vector<char> data;
};

// A program file opened for its resources only.
class Resources {
  public:
    explicit Resources(const std::string& path)
        : module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Resources() {
        if (module)
            FreeLibrary(module);
    }
    std::string Manifest() const {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
        const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        return text ? std::string(text, SizeofResource(module, found)) : "";
    }

    HMODULE module;
};

// The version that the About box of the program file shows, as its dialog shows it.
std::string AboutBoxVersionLine(HMODULE module) {
    HWND about = CreateDialogParamA(
        module, MAKEINTRESOURCEA(IDD_ABOUTBOX), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    std::string line;
    for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[128] = "";
        GetWindowTextA(child, text, sizeof text);
        if (std::string(text).rfind("Version", 0) == 0)
            line = text;
    }
    if (about)
        DestroyWindow(about);
    return line;
}

// Whether Windows' side-by-side loader takes the program's manifest (resource 1) as valid.
bool ActivationContextAccepts(const std::string& path) {
    ACTCTXA context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE handle = CreateActCtxA(&context);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ReleaseActCtx(handle);
    return true;
}

const char* const kSupportedOs[] = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(BuiltFiles, VersionResourcesAgreeWithTheAboutBox) {
    struct Expected {
        std::string path, originalName;
    };
    for (const Expected& file :
         {Expected{kProgram, "tolvi.exe"}, Expected{kRelay, "tolvi-relay.exe"}}) {
        SCOPED_TRACE(file.originalName);
        VersionInfo info(file.path);
        ASSERT_TRUE(info.loaded);
        EXPECT_EQ(info.Text("FileVersion"), TOLVI_VERSION);
        EXPECT_EQ(info.Text("ProductVersion"), TOLVI_VERSION);
        EXPECT_EQ(info.Text("CompanyName"), "tolvi contributors");
        EXPECT_EQ(info.Text("ProductName"), "tolvi");
        EXPECT_EQ(info.Text("OriginalFilename"), file.originalName);
        EXPECT_TRUE(Has(info.Text("FileDescription"), "Named Pipe TCP Proxy"));
        EXPECT_TRUE(Has(info.Text("LegalCopyright"), "tolvi contributors"));
        const VS_FIXEDFILEINFO* fixed = info.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        // "1.001" is major 1, minor 1: Explorer's numeric "File version" shows 1.1.0.0.
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));
        EXPECT_EQ(fixed->dwFileVersionLS, 0u);
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    }
    Resources program(kProgram);
    ASSERT_NE(program.module, nullptr);
    EXPECT_EQ(AboutBoxVersionLine(program.module), std::string("Version ") + TOLVI_VERSION);
}

TEST(BuiltFiles, ManifestsAskForWhatTheProgramsNeed) {
    Resources program(kProgram);
    std::string manifest = program.Manifest();
    ASSERT_FALSE(manifest.empty()) << "no manifest in tolvi.exe";
    EXPECT_TRUE(Has(manifest, "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_TRUE(Has(manifest, ">PerMonitorV2, PerMonitor<"));
    EXPECT_TRUE(Has(manifest, ">true/pm<"));
    EXPECT_TRUE(Has(manifest, "level=\"asInvoker\""));
    for (const char* os : kSupportedOs)
        EXPECT_TRUE(Has(manifest, std::string("<supportedOS Id=\"") + os + "\"/>")) << os;
    EXPECT_TRUE(ActivationContextAccepts(kProgram));

    Resources relay(kRelay);
    std::string relayManifest = relay.Manifest();
    ASSERT_FALSE(relayManifest.empty()) << "no manifest in tolvi-relay.exe";
    EXPECT_TRUE(Has(relayManifest, "level=\"asInvoker\""));
    EXPECT_FALSE(Has(relayManifest, "Common-Controls")) << "a console program draws no controls";
    for (const char* os : kSupportedOs)
        EXPECT_TRUE(Has(relayManifest, os)) << os;
    EXPECT_TRUE(ActivationContextAccepts(kRelay));

    char self[MAX_PATH] = "";  // this test program has no manifest, which the loader refuses
    GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_FALSE(ActivationContextAccepts(self));
}

}  // namespace
}  // namespace tolvi::test
