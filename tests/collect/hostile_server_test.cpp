// Whole collection runs against a loopback directory that misbehaves on page 0: what the user
// sees in the list, the log and the buttons, and that the page ends within its time limit
// without unbounded memory.

#include "hostile_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "collect/collection_run.h"
#include "recording_toolkit.h"
#include "web/http_exchange.h"

namespace qelvanto {
namespace {

using testing::RecordingToolkit;
using tools::HostileMode;
using tools::HostileServer;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

// A stall ends by the time limit; everything else must end by itself long before this one.
constexpr int kStallLimitSeconds = 1;
constexpr int kGenerousLimitSeconds = 30;
// Only a guard against a run that hangs, not a figure: the page must end by its time limit,
// and this leaves room for a slow (sanitized) build on a loaded machine.
constexpr double kHangGuardSeconds = 15.0;
// Peak resident growth a single run may cause. The body cap is 64 MiB, and a page at the cap
// is held about three times over at its peak (the body, then the matcher's subject and its
// UTF-16 form); about 200 MiB is measured. The sanitizers' shadow memory weighs on top.
constexpr long kRssGrowthLimitMiB = kUnderSanitizer ? 3072 : 512;

using testing::WithoutTimes;

long PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// "T:采集第1页", then a kept entry for every row, then the entries of page 2 when the run
// went on, then the end entry.
std::string ExpectedLog(std::size_t kept, bool goes_on) {
    std::string log = "T:采集第1页";
    for (std::size_t i = 1; i <= kept; ++i) log += "T:已采集" + std::to_string(i) + "个";
    if (goes_on) log += "T:采集第2页";
    return log + "T:采集完成";
}

// The group numbers a run keeps from the first `count` hostile records with a minimum of 50.
std::vector<std::string> KeptGroupNumbers(int count) {
    std::vector<std::string> numbers;
    for (int i = 0; i < count; ++i) {
        if (i % 4 != 3) numbers.push_back(tools::HostileGroupNumber(i));
    }
    return numbers;
}

std::vector<std::string> GroupNumbersOf(const RecordingToolkit& tk) {
    std::vector<std::string> numbers;
    numbers.reserve(tk.rows.size());
    for (const auto& row : tk.rows) numbers.push_back(row.at(2));
    return numbers;
}

struct RunResult {
    double seconds = 0;
    long rss_growth_mib = 0;
};

RunResult RunAgainst(HostileServer& server, RecordingToolkit& tk, int time_limit_seconds) {
    CollectOptions options;
    options.search_base = Text(server.BaseUrl());
    options.time_limit_seconds = time_limit_seconds;
    const long rss_before = PeakRssMiB();
    const auto start = std::chrono::steady_clock::now();
    CollectGroups(tk, options);
    RunResult result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.rss_growth_mib = PeakRssMiB() - rss_before;
    return result;
}

struct HostileCase {
    HostileMode mode;
    int time_limit_seconds;
    // Whole records of page 0 that reach the matcher (the hostile server writes five).
    int records_seen;
    // Whether the run asks for page 2: it does exactly when page 1 gave records.
    bool goes_on;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << tools::HostileModeName(c.mode); }

class HostileServerRun : public ::testing::TestWithParam<HostileCase> {};

// What the user sees: the rows of the whole records that arrived before the fault, the log of
// a run that ended on its own (after page 1, or after the empty page 2 when page 1 had
// records), the buttons given back, and never the time-out message.
TEST_P(HostileServerRun, EndsOrGoesOnAsThePageDecides) {
    const HostileCase& c = GetParam();
    HostileServer server(c.mode);
    ASSERT_TRUE(server.Start());
    RecordingToolkit tk;
    const RunResult run = RunAgainst(server, tk, c.time_limit_seconds);
    server.Stop();

    const std::vector<std::string> kept = KeptGroupNumbers(c.records_seen);
    EXPECT_EQ(GroupNumbersOf(tk), kept);
    EXPECT_EQ(WithoutTimes(tk.log), ExpectedLog(kept.size(), c.goes_on));
    EXPECT_TRUE(tk.Idle());
    EXPECT_EQ(server.LaterPageRequests(), c.goes_on ? 1u : 0u);
    EXPECT_LT(run.seconds, c.time_limit_seconds + kHangGuardSeconds);
    EXPECT_LT(run.rss_growth_mib, kRssGrowthLimitMiB);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HostileServerRun,
    ::testing::Values(
        // Stalls: the time limit ends the page and the run, whatever part of the page came.
        HostileCase{HostileMode::kNoAnswer, kStallLimitSeconds, 0, false},
        HostileCase{HostileMode::kHeadersThenStall, kStallLimitSeconds, 0, false},
        HostileCase{HostileMode::kDrip, kStallLimitSeconds, 0, false},
        // Cut-off bodies: what was read before the fault is the page.
        HostileCase{HostileMode::kResetMidBody, kGenerousLimitSeconds, 5, true},
        HostileCase{HostileMode::kBrokenChunked, kGenerousLimitSeconds, 5, true},
        HostileCase{HostileMode::kCutChunked, kGenerousLimitSeconds, 5, true},
        // Answers without a usable body.
        HostileCase{HostileMode::kEmptyReply, kGenerousLimitSeconds, 0, false},
        HostileCase{HostileMode::kHugeHeaders, kGenerousLimitSeconds, 0, false},
        HostileCase{HostileMode::kHtmlPage, kGenerousLimitSeconds, 0, false},
        HostileCase{HostileMode::kBinaryBody, kGenerousLimitSeconds, 0, false},
        HostileCase{HostileMode::kNearRecords, kGenerousLimitSeconds, 0, false},
        HostileCase{HostileMode::kHugeNearRecords, kGenerousLimitSeconds, 0, false}),
    [](const ::testing::TestParamInfo<HostileCase>& info) {
        std::string name;
        for (char ch : tools::HostileModeName(info.param.mode)) {
            if (ch != '-') name += ch;
        }
        return name;
    });

// Each hop names a new address, so only a count of hops ends the loop: the page then has no
// body and the run ends.
TEST(HostileServer, RedirectLoopStopsAfterABoundedNumberOfHops) {
    HostileServer server(HostileMode::kRedirectLoop);
    ASSERT_TRUE(server.Start());
    RecordingToolkit tk;
    RunAgainst(server, tk, kGenerousLimitSeconds);
    server.Stop();
    EXPECT_GE(server.RequestCount(), 2u);   // it did follow
    EXPECT_LE(server.RequestCount(), 21u);  // the first request and at most twenty hops
    EXPECT_EQ(WithoutTimes(tk.log), ExpectedLog(0, false));
    EXPECT_TRUE(tk.Idle());
}

// The body is taken up to the cap and no further: the server gets rid of little more than
// the cap before the exchange hangs up on it.
TEST(HostileServer, EndlessBodyStopsAtTheBodyCap) {
    HostileServer server(HostileMode::kEndlessBody);
    ASSERT_TRUE(server.Start());
    RecordingToolkit tk;
    const RunResult run = RunAgainst(server, tk, kGenerousLimitSeconds);
    server.Stop();
    EXPECT_GE(server.BytesSent(), kMaxResponseBytes);
    EXPECT_LT(server.BytesSent(), kMaxResponseBytes + (std::size_t{32} << 20));
    EXPECT_EQ(WithoutTimes(tk.log), ExpectedLog(0, false));
    EXPECT_TRUE(tk.Idle());
    EXPECT_LT(run.rss_growth_mib, kRssGrowthLimitMiB);
}

// Every record of a page of 100,000 is found, each above the minimum is kept in page order,
// and the run asks for the next page (empty here, so the run ends there).
TEST(HostileServer, PageOfAHundredThousandRecordsKeepsEveryRecordAboveTheMinimum) {
    constexpr int kRecords = 100'000;
    HostileServer server(HostileMode::kHugePage);
    ASSERT_TRUE(server.Start());
    RecordingToolkit tk;
    const RunResult run = RunAgainst(server, tk, kGenerousLimitSeconds);
    server.Stop();

    const std::vector<std::string> kept = KeptGroupNumbers(kRecords);
    EXPECT_EQ(tk.rows.size(), kept.size());
    EXPECT_TRUE(GroupNumbersOf(tk) ==
                kept);  // not EXPECT_EQ: a mismatch would print 75,000 numbers
    ASSERT_FALSE(tk.rows.empty());
    EXPECT_EQ(tk.rows.back().at(0), std::to_string(kept.size()));
    EXPECT_EQ(server.LaterPageRequests(), 1u);
    // The log's tail: the last kept entry, the empty page 2 and the end entry.
    const std::string tail = WithoutTimes(tk.log.substr(tk.log.size() - 200));
    EXPECT_THAT(tail, ::testing::EndsWith("T:已采集" + std::to_string(kept.size()) +
                                          "个T:采集第2页T:采集完成"));
    EXPECT_TRUE(tk.Idle());
    EXPECT_LT(run.rss_growth_mib, kRssGrowthLimitMiB);
}

}  // namespace
}  // namespace qelvanto
