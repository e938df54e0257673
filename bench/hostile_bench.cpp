// One collection run per hostile server mode: what the tool did with page 1 (rows kept,
// whether it went on to page 2, whether the run ended with its end entry, the requests the
// server saw) and how long page 1 took, with the peak resident size of the run. Every mode
// runs in a process of its own, so each peak belongs to one run only.
//
// Usage: hostile_bench [--stall-limit SECONDS]       the table, every mode
//        hostile_bench --mode NAME [--stall-limit S] one mode, one line of figures

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "collect/collection_run.h"
#include "collect/toolkit.h"
#include "hostile_server.h"
#include "web/fetch_url.h"

namespace {

using qelvanto::Control;
using qelvanto::Text;
using qelvanto::tools::HostileMode;
using qelvanto::tools::HostileModeName;
using Clock = std::chrono::steady_clock;

constexpr int kGenerousLimitSeconds = 60;  // the fetch's own default

// Code page 936 pieces of the log entries.
constexpr std::string_view kPageMark = ":\xb2\xc9\xbc\xaf\xb5\xda";         // ":采集第"
constexpr std::string_view kEndMark = ":\xb2\xc9\xbc\xaf\xcd\xea\xb3\xc9";  // ":采集完成"

bool IsStall(HostileMode mode) {
    return mode == HostileMode::kNoAnswer || mode == HostileMode::kHeadersThenStall ||
           mode == HostileMode::kDrip;
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A window that only counts: rows, page entries with their times, the end entry.
class CountingToolkit : public qelvanto::Toolkit {
  public:
    int rows = 0;
    int pages = 0;
    bool ended = false;
    Clock::time_point page1_start{};
    Clock::time_point page1_end{};

    Text EditBoxContent(Control box) override {
        return Text(box == Control::kKeywordBox ? "k" : "50");
    }
    void EditBoxAppend(Control, const Text& text) override {
        const std::string_view entry = text.view();
        const bool page = entry.find(kPageMark) != std::string_view::npos;
        const bool end = entry.ends_with(kEndMark);
        if ((page || end) && pages == 1 && page1_end == Clock::time_point{})
            page1_end = Clock::now();
        if (page && ++pages == 1) page1_start = Clock::now();
        ended |= end;
    }
    Text CheckBoxCaption(Control) override { return Text(); }
    void CheckBoxSetCaption(Control, const Text&) override {}
    void ControlSetEnabled(Control, bool) override {}
    int ListViewInsertRow(Control) override { return rows++; }
    void ListViewSetCell(Control, int, int, const Text&) override {}
    int ListViewRowCount(Control) override { return rows; }
    void ListViewEnsureVisible(Control, int) override {}
};

int RunOne(HostileMode mode, int stall_limit) {
    const int limit = IsStall(mode) ? stall_limit : kGenerousLimitSeconds;
    qelvanto::PrepareWebAccess();
    qelvanto::tools::HostileServer server(mode);
    if (!server.Start()) {
        std::fprintf(stderr, "hostile_bench: cannot start the server\n");
        return 1;
    }
    CountingToolkit tk;
    qelvanto::CollectOptions options;
    options.search_base = Text(server.BaseUrl());
    options.time_limit_seconds = limit;
    const long rss_before = PeakRssKiB();
    const auto start = Clock::now();
    qelvanto::CollectGroups(tk, options);
    const double run_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const long rss_peak = PeakRssKiB();
    server.Stop();
    const double page_ms =
        std::chrono::duration<double, std::milli>(tk.page1_end - tk.page1_start).count();
    std::printf("%d\t%.0f\t%.0f\t%d\t%s\t%s\t%zu\t%.1f\t%ld\t%ld\n", limit, page_ms, run_ms,
                tk.rows, tk.pages >= 2 ? "yes" : "no", tk.ended ? "yes" : "no",
                server.RequestCount(), static_cast<double>(server.BytesSent()) / (1 << 20),
                (rss_peak - rss_before) / 1024, rss_peak / 1024);
    return 0;
}

int RunAll(const char* self, int stall_limit) {
    std::printf("%-18s %7s %9s %8s %7s %7s %5s %8s %9s %9s %9s\n", "mode", "limit s", "page 1 ms",
                "run ms", "rows", "page 2", "end", "requests", "sent MiB", "RSS +MiB", "peak MiB");
    for (HostileMode mode : qelvanto::tools::AllHostileModes()) {
        const std::string name(HostileModeName(mode));
        const std::string command = std::string("'") + self + "' --mode " + name +
                                    " --stall-limit " + std::to_string(stall_limit);
        FILE* child = ::popen(command.c_str(), "r");
        if (!child) return 1;
        char line[512] = {};
        const bool got = std::fgets(line, sizeof line, child) != nullptr;
        const int status = ::pclose(child);
        int limit = 0, rows = 0;
        double page_ms = 0, run_ms = 0, sent = 0;
        char went_on[8] = {}, ended[8] = {};
        std::size_t requests = 0;
        long growth = 0, peak = 0;
        if (!got || status != 0 ||
            std::sscanf(line, "%d %lf %lf %d %7s %7s %zu %lf %ld %ld", &limit, &page_ms, &run_ms,
                        &rows, went_on, ended, &requests, &sent, &growth, &peak) != 10) {
            std::printf("%-18s failed (status %d)\n", name.c_str(), status);
            continue;
        }
        std::printf("%-18s %7d %9.0f %8.0f %7d %7s %5s %8zu %9.1f %9ld %9ld\n", name.c_str(), limit,
                    page_ms, run_ms, rows, went_on, ended, requests, sent, growth, peak);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode_name;
    int stall_limit = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view flag = argv[i];
        if (flag == "--mode") {
            mode_name = argv[i + 1];
        } else if (flag == "--stall-limit") {
            stall_limit = std::atoi(argv[i + 1]);
        }
    }
    if (mode_name.empty()) {
        char self[4096] = {};
        if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
        return RunAll(self, stall_limit);
    }
    for (HostileMode mode : qelvanto::tools::AllHostileModes()) {
        if (HostileModeName(mode) == mode_name) return RunOne(mode, stall_limit);
    }
    std::fprintf(stderr, "hostile_bench: no mode %s\n", mode_name.c_str());
    return 2;
}
