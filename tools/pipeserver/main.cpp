// tolvi-pipeserver: serves one named pipe for tests, benchmarks and the demo, or connects to
// one as its client, as a virtual machine set to be the pipe's client does.
//   tolvi-pipeserver PIPENAME echo | console | stream BYTES | sink FILE
//   tolvi-pipeserver --connect PIPENAME echo
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pipeserver/ConnectEcho.h"
#include "pipeserver/PipeServer.h"
#include "pipeserver/ServeModes.h"
#include "platform/CommandLine.h"

using tolvi::tools::PipeServer;
using tolvi::tools::ServeOptions;

namespace {

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "tolvi-pipeserver: %s\n"
                 "usage: tolvi-pipeserver PIPENAME echo | console | stream BYTES | sink FILE\n"
                 "       tolvi-pipeserver --connect PIPENAME echo\n",
                 problem);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = tolvi::platform::ProgramArguments(argc, argv);
    if (args.size() < 2)
        return Usage("a pipe name and a mode are needed");
    if (args[0] == "--connect") {
        if (args.size() != 3 || args[2] != "echo")
            return Usage("--connect takes a pipe name and echo");
        return tolvi::tools::ConnectAndEcho(args[1], 10000);
    }
    ServeOptions options;
    options.mode = args[1];
    if (options.mode == "stream" || options.mode == "sink") {
        if (args.size() != 3)
            return Usage("this mode needs an argument");
        if (options.mode == "stream") {
            char* end = nullptr;
            options.streamBytes = std::strtoull(args[2].c_str(), &end, 10);
            if (!end || *end)
                return Usage("BYTES must be a number");
        } else {
            options.sinkFile = args[2];
        }
    } else if (options.mode != "echo" && options.mode != "console") {
        return Usage("unknown mode");
    } else if (args.size() != 2) {
        return Usage("too many arguments");
    }

    tolvi::platform::UseUtf8Output();
    PipeServer server(args[0]);
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "tolvi-pipeserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("tolvi-pipeserver: serving %s (%s)\n", args[0].c_str(), options.mode.c_str());
    std::fflush(stdout);
    std::atomic<bool> stop{false};
    for (;;) {
        if (!server.WaitClient(1000))
            continue;
        ServeClient(server, options, stop);
        server.DropClient();
    }
}
