// The tool pointed at a loopback group directory of its own, so a harvest can be watched on
// any machine without the real search service. The tool itself takes no options; this is a
// second program.

#include <chrono>
#include <cstdio>

#include "app/application.h"
#include "directory_server.h"

int main(int argc, char** argv) {
    qelvanto::tools::DirectoryOptions options;
    options.pages = 40;
    options.make_record = qelvanto::tools::RealisticRecord;
    options.latency = std::chrono::milliseconds(150);  // slow enough to watch, and to pause
    qelvanto::tools::DirectoryServer directory(options);
    if (!directory.Start()) {
        std::fprintf(stderr, "qelvanto-demo: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("qelvanto-demo: loopback directory at %s (%d pages)\n", directory.BaseUrl().c_str(),
                options.pages);
    std::fflush(stdout);

    qelvanto::CollectOptions collect;
    collect.search_base = qelvanto::Text(directory.BaseUrl());
    const int status = qelvanto::RunApplication(argc, argv, collect, /*open_publisher_page=*/false);
    directory.Stop();
    return status;
}
