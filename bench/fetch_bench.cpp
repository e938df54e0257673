// Sequential FetchUrl calls of one 20-record page against the loopback directory.
//   fetch_bench [--url URL] [--requests N] [--conversion C]
// Without --url it starts the directory in-process. Prints requests per second.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "directory_server.h"
#include "web/fetch_url.h"

int main(int argc, char** argv) {
    std::string url;
    int requests = 20000;
    int conversion = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--url") url = argv[i + 1];
        else if (arg == "--requests") requests = std::atoi(argv[i + 1]);
        else if (arg == "--conversion") conversion = std::atoi(argv[i + 1]);
        else {
            std::fprintf(stderr, "usage: fetch_bench [--url URL] [--requests N] [--conversion C]\n");
            return 2;
        }
    }
    std::optional<qelvanto::tools::DirectoryServer> directory;
    if (url.empty()) {
        directory.emplace();
        if (!directory->Start()) return 1;
        url = directory->BaseUrl() + "0?callback=groupCallback&name=%61";
    }

    auto fetch = [&] {
        qelvanto::Text target(url.c_str());
        return qelvanto::FetchUrl(target, {}, {}, {}, {}, {}, {}, nullptr, conversion);
    };
    const std::size_t page_size = fetch().size();  // warms the connection
    if (page_size < 1000) {
        std::fprintf(stderr, "fetch_bench: unexpected page of %zu bytes\n", page_size);
        return 1;
    }
    for (int i = 0; i < requests / 20; ++i) fetch();

    const auto start = std::chrono::steady_clock::now();
    std::size_t bytes = 0;
    for (int i = 0; i < requests; ++i) bytes += fetch().size();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("FetchUrl: %d requests in %.3f s, %.0f requests/s (conversion %d, %zu bytes per page)\n",
                requests, seconds, requests / seconds, conversion, bytes / static_cast<std::size_t>(requests));
    return 0;
}
