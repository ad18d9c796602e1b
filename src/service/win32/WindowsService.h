// tolvi-relay's "service" commands: the service itself under the Service Control Manager,
// and the commands that install, start, stop, change and ask it.
#pragma once
#include <string>
#include <vector>

namespace tolvi::service {

constexpr wchar_t kServiceName[] = L"tolvi";
constexpr wchar_t kServiceDisplayName[] = L"tolvi named pipe relay";
extern const char kServiceUsage[];

// args: what follows "service" on the command line. Returns the program's exit code.
int RunServiceCommand(const std::vector<std::string>& args);

// "service run": the process the Service Control Manager starts.
int RunServiceProcess();

}  // namespace tolvi::service
