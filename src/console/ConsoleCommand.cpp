// The console command's arguments, and the console they name.
#include "console/ConsoleCommand.h"

#include "console/ConsoleSession.h"
#include "console/ConsoleTarget.h"
#include "console/EscapeKeys.h"
#include "platform/Terminal.h"

namespace tolvi::console {
namespace {

const char kUsage[] =
    "usage: tolvi-relay console [--raw] PORT | PIPE | HOST:PORT\n"
    "  opens a connector's console in this terminal, as a Telnet client would\n"
    "  PORT       a connector's port (or watch port); on Windows looked up among your\n"
    "             connectors, then the machine's (the service's)\n"
    "  PIPE       a connector's pipe name, \\\\.\\pipe\\com1 or com1 (Windows)\n"
    "  HOST:PORT  any console, by its address: 127.0.0.1:2323, [::1]:2323\n"
    "  --raw      no Telnet: the bytes as they are both ways, for a raw connector's port\n"
    "  In the console: ";

}  // namespace

int RunConsoleCommand(const std::vector<std::string>& args) {
    bool raw = false;
    std::string what;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            platform::WriteMessage(std::string(kUsage) + kEscapeHelp + ".\n");
            return 0;
        }
        if (arg == "--raw") {
            raw = true;
        } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
            platform::WriteMessage("tolvi-relay: console: unknown option " + arg + "\n");
            return 2;
        } else if (what.empty() && !arg.empty()) {
            what = arg;
        } else {
            platform::WriteMessage("tolvi-relay: console: one PORT, PIPE or HOST:PORT, not '" +
                                   arg + "' as well\n");
            return 2;
        }
    }
    if (what.empty()) {
        platform::WriteMessage("tolvi-relay: console: which one? PORT, PIPE or HOST:PORT is "
                               "needed\n(tolvi-relay console --help shows the usage)\n");
        return 2;
    }
    ConsoleTarget target;
    std::string problem = FindConsole(what, LoadStoredConnectors(), &target);
    if (!problem.empty()) {
        platform::WriteMessage("tolvi-relay: console: " + problem);
        return 2;
    }
    if (raw)
        target.telnet = false;
    return RunConsoleSession(target);
}

}  // namespace tolvi::console
