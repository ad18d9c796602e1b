// Starting a program on Windows: CreateProcess with the command line as written, an
// environment block of this program's variables and the added ones, no handle inherited, and
// a job object that holds it and whatever it starts.
#include "platform/Process.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

std::wstring EnvironmentBlock(const Environment& added) {
    std::vector<std::wstring> entries;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* v = own; *v; v += wcslen(v) + 1) {
            std::wstring entry = v;
            bool replaced = false;
            for (const auto& [name, value] : added) {
                std::wstring prefix = Widen(name) + L"=";
                replaced = replaced || _wcsnicmp(entry.c_str(), prefix.c_str(), prefix.size()) == 0;
            }
            if (!replaced)
                entries.push_back(entry);
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& [name, value] : added)
        entries.push_back(Widen(name) + L"=" + Widen(value));
    // Windows wants the block in the order of the names, case aside.
    auto name = [](const std::wstring& e) { return e.substr(0, e.find(L'=', 1)); };
    std::stable_sort(entries.begin(), entries.end(), [&](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(name(a).c_str(), name(b).c_str()) < 0;
    });
    std::wstring block;
    for (const std::wstring& e : entries)
        block += e + L'\0';
    block += L'\0';
    return block;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (process && !Exited())
        Kill();
    if (job)
        CloseHandle(job);
}

SysError ChildProcess::Start(const std::string& commandLine, const Environment& added) {
    std::vector<std::string> words;
    if (!SplitCommandLine(commandLine, &words) || words.empty())
        return Win32Error(ERROR_INVALID_PARAMETER);
    std::wstring block = EnvironmentBlock(added);
    std::wstring line = Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Suspended until it is in its job, so that nothing it starts escapes the job.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW | CREATE_SUSPENDED,
                        block.data(), nullptr, &startup, &started)) {
        return LastWin32Error();
    }
    if (!job) {
        job = CreateJobObjectW(nullptr, nullptr);
        // Should the program end without stopping its connectors (a crash, a kill), the job's
        // last handle goes with it, and so do the commands.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job)
            SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                    sizeof limits);
    }
    if (job)
        AssignProcessToJobObject(job, started.hProcess);  // a job of a job may be refused
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    process = started.hProcess;
    return {};
}

bool ChildProcess::Exited() {
    if (!process)
        return true;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
        return false;
    CloseHandle(process);
    process = nullptr;
    return true;
}

void ChildProcess::Kill() {
    if (!process)
        return;
    if (job)
        TerminateJobObject(job, 1);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    process = nullptr;
}

}  // namespace tolvi::platform
