// Serves the loopback group directory from the command line until interrupted.
//   qelvanto-directory [--port N] [--pages N] [--records N] [--latency-ms N] [--realistic]
// Prints the search base URL on the first line of standard output.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "directory_server.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int Usage() {
    std::fprintf(stderr,
                 "usage: qelvanto-directory [--port N] [--pages N] [--records N] [--latency-ms N] [--realistic]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qelvanto::tools::DirectoryOptions options;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--realistic") {
            options.make_record = qelvanto::tools::RealisticRecord;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const int value = std::atoi(argv[++i]);
        if (arg == "--port") {
            port = value;
        } else if (arg == "--pages") {
            options.pages = value;
        } else if (arg == "--records") {
            options.records_per_page = value;
        } else if (arg == "--latency-ms") {
            options.latency = std::chrono::milliseconds(value);
        } else {
            return Usage();
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    qelvanto::tools::DirectoryServer server(options);
    if (!server.Start(port)) {
        std::fprintf(stderr, "qelvanto-directory: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("%s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    while (!g_stop) ::usleep(100 * 1000);
    server.Stop();
    std::printf("requests %zu connections %zu\n", server.RequestCount(), server.ConnectionCount());
    return 0;
}
