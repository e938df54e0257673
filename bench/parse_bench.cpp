// The page path of a harvest: a UTF-8 body in, conversion to code page 936, record matching,
// the three field cuts, records out. Run through bench/parse_bench.sh, which compares it with
// a Python peer doing the same work on the same bytes.
//
// --bodies=DIR writes the bodies measured here to DIR (page.json, large.json, near.json).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "collect/search_protocol.h"
#include "regex/regex_object.h"
#include "text/codepage.h"

namespace {

using namespace qelvanto;

// A record as the service writes it; names mix Chinese (UTF-8) and ASCII.
std::string Record(int i, bool near) {
    static const char* const kNames[] = {
        "\xe5\x8c\x97\xe4\xba\xac\xe6\x91\x84\xe5\xbd\xb1\xe7\x88\xb1\xe5\xa5\xbd\xe8\x80\x85",
        "Qt \xe5\xbc\x80\xe5\x8f\x91\xe4\xba\xa4\xe6\xb5\x81",
        "\xe8\xb7\x91\xe6\xad\xa5\xe7\xbe\xa4 No.",
        "chess club"};
    std::string r = "{\"groupNum\":" + std::to_string(100000000 + i * 7919) +
                    ",\"ugroupId\":" + std::to_string(5000000 + i) +
                    ",\"ownerId\":" + std::to_string(200000000 + i * 13) +
                    ",\"logoIndex\":" + std::to_string(i % 9) +
                    ",\"memberCount\":" + std::to_string((i * 37) % 2000) + ",\"name\":\"" +
                    kNames[i % 4] + std::to_string(i) + "\",\"creator\":{\"uid\":" +
                    std::to_string(300000000 + i) + ",\"imid\":" + std::to_string(400000 + i) +
                    ",\"nick\":\"\xe7\xbe\xa4\xe4\xb8\xbb" + std::to_string(i % 100) +
                    "\",\"logoIndex\":3,\"jifen\":" + std::to_string(i % 500) +
                    ",\"followed\":false,\"age\":";
    r += near ? "-1}}" : std::to_string(18 + i % 40) + "}}";
    return r;
}

std::string Body(int records, bool near) {
    std::string body = "groupCallback({\"status\":0,\"total\":" + std::to_string(records) +
                       ",\"groups\":[";
    for (int i = 0; i < records; ++i) {
        if (i) body += ',';
        body += Record(i, near);
    }
    return body + "]})";
}

// A near-record body of at least 4 MiB.
std::string NearBody() {
    const std::size_t record = Record(0, true).size() + 1;
    return Body(static_cast<int>((4u << 20) / record + 1), true);
}

const std::string& PageBody() {
    static const std::string body = Body(20, false);
    return body;
}
const std::string& LargeBody() {
    static const std::string body = Body(20'000, false);
    return body;
}
const std::string& NearRecordBody() {
    static const std::string body = NearBody();
    return body;
}

void PagePath(benchmark::State& state, const std::string& utf8) {
    RegexObject matcher;  // one per run, as the harvest holds it
    const Text input(utf8);
    std::size_t records = 0;
    for (auto _ : state) {
        const Text body = Utf8ToAnsi(input);
        const std::vector<GroupRecord> parsed = ParseGroupPage(body, matcher);
        records += parsed.size();
        benchmark::DoNotOptimize(parsed.data());
    }
    state.counters["records"] =
        static_cast<double>(records) / static_cast<double>(state.iterations());
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
}

void BM_Page20(benchmark::State& state) { PagePath(state, PageBody()); }
void BM_Large4MiB(benchmark::State& state) { PagePath(state, LargeBody()); }
void BM_NearRecords4MiB(benchmark::State& state) { PagePath(state, NearRecordBody()); }
// A fresh matcher per page: the cost of compiling the pattern each time.
void BM_Page20FreshMatcher(benchmark::State& state) {
    const Text input(PageBody());
    for (auto _ : state) {
        auto parsed = ParseGroupPage(Utf8ToAnsi(input));
        benchmark::DoNotOptimize(parsed.data());
    }
}

// Rates are per CPU second (the peer measures its CPU time too), so other work on a shared
// machine skews neither side; the wall time is printed beside them.
BENCHMARK(BM_Page20);
BENCHMARK(BM_Page20FreshMatcher);
BENCHMARK(BM_Large4MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NearRecords4MiB)->Unit(benchmark::kMillisecond);

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        constexpr const char* kBodies = "--bodies=";
        if (std::strncmp(argv[i], kBodies, std::strlen(kBodies)) == 0) {
            const std::string dir = argv[i] + std::strlen(kBodies);
            if (!WriteFile(dir + "/page.json", PageBody()) ||
                !WriteFile(dir + "/large.json", LargeBody()) ||
                !WriteFile(dir + "/near.json", NearRecordBody())) {
                std::fprintf(stderr, "cannot write bodies to %s\n", dir.c_str());
                return 1;
            }
            continue;
        }
        args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
