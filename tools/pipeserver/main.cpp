// tolvi-pipeserver: serves one named pipe for tests, benchmarks and the demo.
//   tolvi-pipeserver PIPENAME echo | console | stream BYTES | sink FILE
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pipeserver/PipeServer.h"
#include "pipeserver/ServeModes.h"

using tolvi::tools::PipeServer;
using tolvi::tools::ServeOptions;

namespace {

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "tolvi-pipeserver: %s\n"
                 "usage: tolvi-pipeserver PIPENAME echo | console | stream BYTES | sink FILE\n",
                 problem);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return Usage("a pipe name and a mode are needed");
    ServeOptions options;
    options.mode = argv[2];
    if (options.mode == "stream" || options.mode == "sink") {
        if (argc != 4)
            return Usage("this mode needs an argument");
        if (options.mode == "stream") {
            char* end = nullptr;
            options.streamBytes = std::strtoull(argv[3], &end, 10);
            if (!end || *end)
                return Usage("BYTES must be a number");
        } else {
            options.sinkFile = argv[3];
        }
    } else if (options.mode != "echo" && options.mode != "console") {
        return Usage("unknown mode");
    } else if (argc != 3) {
        return Usage("too many arguments");
    }

    PipeServer server(argv[1]);
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "tolvi-pipeserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("tolvi-pipeserver: serving %s (%s)\n", argv[1], options.mode.c_str());
    std::fflush(stdout);
    std::atomic<bool> stop{false};
    for (;;) {
        if (!server.WaitClient(1000))
            continue;
        ServeClient(server, options, stop);
        server.DropClient();
    }
}
