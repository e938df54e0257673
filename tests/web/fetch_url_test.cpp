#include "web/fetch_url.h"

#include <atomic>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "directory_server.h"
#include "raw_http_server.h"

namespace qelvanto {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using tools::RawConnection;
using tools::RawHttpServer;
using tools::RawRequest;
using tools::RawResponse;

// "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。"
const std::string kTimeoutBytes =
    "\xb3\xac\xca\xb1\xb7\xb5\xbb\xd8\xa3\xac\xd6\xb8\xb6\xa8\xcd\xf8\xd5\xbe\xb2\xbb\xc4\xdc"
    "\xb7\xc3\xce\xca\xa3\xac\xbb\xf2\xd5\xdf\xc4\xe3\xb5\xc4\xcd\xf8\xc2\xe7\xb3\xf6\xcf\xd6"
    "\xce\xca\xcc\xe2\xa3\xac\xc4\xe3\xbf\xc9\xd2\xd4\xb0\xd1\xb2\xce\xca\xfd\xd6\xd0\xb5\xc4"
    "\xa3\xa2\xb3\xac\xca\xb1\xb7\xb5\xbb\xd8\xa3\xa2\xb5\xc4\xd6\xb5\xc9\xe8\xd6\xc3\xb3\xa4"
    "\xd2\xbb\xd0\xa9\xa1\xa3";

// Restores the calling thread's hooks when a test ends.
struct HookGuard {
    ~HookGuard() {
        SetProcessEventsHook(nullptr);
        SetWorkCancelledHook(nullptr);
    }
};

class FetchUrlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start()); }

    std::string body_ = "ok";
    RawHttpServer server_{[this](const RawRequest&, RawConnection& c) {
        c.Send(RawResponse("200 OK", body_, "Set-Cookie: s=1; path=/\r\n"));
    }};
};

TEST(FetchUrl, TimeoutMessageIsTheCodePage936Text) { EXPECT_EQ(FetchTimeoutMessage().str(), kTimeoutBytes); }

TEST(FetchUrl, BlankUrlGivesNothingAndTouchesNothing) {
    for (const char* blank : {"", "   ", "\xa1\xa1 "}) {
        Text url(blank);
        Text headers("keep"), cookies("keep");
        EXPECT_THAT(FetchUrl(url, {}, {}, {}, {}, {}, {}, &headers, {}, &cookies).str(), IsEmpty());
        EXPECT_EQ(url.str(), blank);
        EXPECT_EQ(headers.str(), "keep");
        EXPECT_EQ(cookies.str(), "keep");
    }
}

TEST_F(FetchUrlTest, UrlWithoutSchemeGetsHttpWrittenBack) {
    Text url(("127.0.0.1:" + std::to_string(server_.port()) + "/x?y=1").c_str());
    EXPECT_EQ(FetchUrl(url).str(), "ok");
    EXPECT_EQ(url.str(), "http://127.0.0.1:" + std::to_string(server_.port()) + "/x?y=1");
    EXPECT_EQ(server_.LastRequest().RequestLine(), "GET /x?y=1 HTTP/1.1");
}

TEST_F(FetchUrlTest, OnlyMethodOneSendsPost) {
    for (int method : {0, 2, -1, 1}) {
        Text url(server_.Url("/m").c_str());
        FetchUrl(url, method, {}, {}, Bytes(std::string_view("b=1")));
        EXPECT_EQ(server_.LastRequest().RequestLine(), std::string(method == 1 ? "POST" : "GET") + " /m HTTP/1.1")
            << "method " << method;
    }
}

TEST_F(FetchUrlTest, HandsBackHeadersAndCookies) {
    Text url(server_.Url("/").c_str());
    Text headers, cookies;
    FetchUrl(url, {}, {}, {}, {}, Text("own=1"), {}, &headers, {}, &cookies);
    EXPECT_THAT(headers.str(), ::testing::StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(headers.str(), HasSubstr("Set-Cookie: s=1; path=/\r\n"));
    EXPECT_EQ(cookies.str(), "s=1;");
}

struct ConversionCase {
    const char* name;
    std::string body;
    int conversion;
    std::string expected;
};

class Conversions : public FetchUrlTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(Conversions, ApplyToTheBody) {
    body_ = GetParam().body;
    Text url(server_.Url("/").c_str());
    EXPECT_EQ(FetchUrl(url, {}, {}, {}, {}, {}, {}, nullptr, GetParam().conversion).str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    FetchUrl, Conversions,
    ::testing::Values(
        // 中 in UTF-8 -> code page 936
        ConversionCase{"Utf8", "\xe4\xb8\xad", 1, "\xd6\xd0"},
        // 中國 in Big5 -> 中国 in code page 936
        ConversionCase{"Big5ToSimplified", "\xa4\xa4\xb0\xea", 2, "\xd6\xd0\xb9\xfa"},
        ConversionCase{"NoneKeepsNulBytes", std::string("ab\0cd", 5), 0, std::string("ab\0cd", 5)},
        ConversionCase{"OtherValueKeepsBytes", std::string("ab\0cd", 5), 7, std::string("ab\0cd", 5)},
        ConversionCase{"Utf8EndsAtNul", std::string("ab\0cd", 5), 1, "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FetchUrl, ConnectionRefusedGivesEmptyBodyHeadersAndCookies) {
    Text url(("http://127.0.0.1:" + std::to_string(tools::ClosedLoopbackPort()) + "/").c_str());
    Text headers("old"), cookies("old");
    EXPECT_THAT(FetchUrl(url, {}, {}, {}, {}, Text("c=1"), {}, &headers, 1, &cookies).str(), IsEmpty());
    EXPECT_THAT(headers.str(), IsEmpty());
    EXPECT_THAT(cookies.str(), IsEmpty());
}

// A server that never answers; each handler returns when the client gives up the connection.
class StalledServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start()); }

    // Waits until the client has closed every connection it opened.
    void ExpectAbandoned() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return closed_ == server_.ConnectionCount(); });
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::size_t closed_ = 0;
    RawHttpServer server_{[this](const RawRequest&, RawConnection& c) {
        c.WaitForPeerClose();
        std::lock_guard lock(mutex_);
        ++closed_;
        cv_.notify_all();
        c.Close();
    }};
};

TEST_F(StalledServer, TimeLimitGivesTheMessageLeavesOutputsAndAbandonsTheRequest) {
    Text url(server_.Url("/").c_str());
    Text headers("keep h"), cookies("keep c");
    const Bytes got = FetchUrl(url, {}, {}, {}, {}, {}, 1, &headers, 1, &cookies);
    EXPECT_EQ(got.str(), kTimeoutBytes);
    EXPECT_EQ(headers.str(), "keep h");
    EXPECT_EQ(cookies.str(), "keep c");
    ExpectAbandoned();
}

TEST_F(StalledServer, ZeroAndNegativeLimitsTimeOutAtOnce) {
    for (int limit : {0, -5}) {
        Text url(server_.Url("/").c_str());
        EXPECT_EQ(FetchUrl(url, {}, {}, {}, {}, {}, limit).str(), kTimeoutBytes) << limit;
    }
}

TEST_F(StalledServer, StoppedWorkGivesUpAtOnce) {
    HookGuard guard;
    std::atomic<int> passes{0};
    SetProcessEventsHook([&] { ++passes; });
    // Stop once the request has reached the server.
    SetWorkCancelledHook([&] { return !server_.Requests().empty(); });
    Text url(server_.Url("/").c_str());
    Text headers("keep");
    EXPECT_THAT(FetchUrl(url, {}, {}, {}, {}, {}, 60, &headers).str(), IsEmpty());
    EXPECT_EQ(headers.str(), "keep");
    EXPECT_GE(passes.load(), 1);
    ExpectAbandoned();
}

TEST_F(FetchUrlTest, PauseLongerThanTheLimitEndsInTimeout) {
    HookGuard guard;
    const std::int32_t start = UptimeMs();
    // The paused run holds inside the wait until the request has been answered and the
    // limit has passed.
    SetProcessEventsHook([&] {
        while (server_.Requests().empty() || static_cast<std::uint32_t>(UptimeMs() - start) <= 1100) {
            std::this_thread::yield();
        }
    });
    Text url(server_.Url("/").c_str());
    EXPECT_EQ(FetchUrl(url, {}, {}, {}, {}, {}, 1).str(), kTimeoutBytes);
}

TEST(FetchUrl, ConsecutiveFetchesShareOneConnection) {
    tools::DirectoryServer directory;
    ASSERT_TRUE(directory.Start());
    for (int i = 0; i < 100; ++i) {
        Text url((directory.BaseUrl() + "0?callback=groupCallback&name=%61").c_str());
        const Bytes body = FetchUrl(url, {}, {}, {}, {}, {}, {}, nullptr, 1);
        ASSERT_THAT(body.str(), ::testing::StartsWith("groupCallback({")) << i;
    }
    EXPECT_EQ(directory.RequestCount(), 100u);
    EXPECT_EQ(directory.ConnectionCount(), 1u);
}

}  // namespace
}  // namespace qelvanto
