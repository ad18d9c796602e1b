// tolvi-relay: runs connectors from the command line, without the GUI, printing every change
// of each one as it happens; Ctrl-C stops them all. "tolvi-relay service ..." manages and
// runs the Windows service; "tolvi-relay console ..." opens a connector's console in this
// terminal.
#include <cstdio>
#include <string>
#include <vector>

#include "console/ConsoleCommand.h"
#include "platform/CommandLine.h"
#include "relay/ConsoleHost.h"
#include "relay/RelayArgs.h"
#include "ssh/Libssh.h"

#ifdef _WIN32
#include "service/win32/WindowsService.h"
#endif

int main(int argc, char** argv) {
    std::vector<std::string> arguments = tolvi::platform::ProgramArguments(argc, argv);
    // The console sets the terminal's code pages itself, and puts them back at the end.
    if (!arguments.empty() && arguments[0] == "console") {
        return tolvi::console::RunConsoleCommand(
            std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    }
    tolvi::platform::UseUtf8Output();
    if (!arguments.empty() && arguments[0] == "service") {
#ifdef _WIN32
        return tolvi::service::RunServiceCommand(
            std::vector<std::string>(arguments.begin() + 1, arguments.end()));
#else
        std::fprintf(stderr,
                     "tolvi-relay: the service is a Windows service; elsewhere, run tolvi-relay "
                     "from the system's own service manager\n");
        return 2;
#endif
    }
    tolvi::relay::RelayArgs args;
    std::string problem = tolvi::relay::ParseRelayArgs(arguments, &args);
    if (!problem.empty()) {
        std::fprintf(stderr, "tolvi-relay: %s\n(tolvi-relay --help shows the usage)\n",
                     problem.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(tolvi::relay::RelayUsage().c_str(), stdout);
        return 0;
    }
    if (args.version) {
        std::printf("tolvi-relay %s\n%s\n", TOLVI_VERSION, tolvi::ssh::LibsshBuiltIn().c_str());
        return 0;
    }
    return tolvi::relay::RunConsoleHost(args);
}
