#include "web/http_exchange.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include "raw_http_server.h"
#include "text/memory_stream.h"

namespace qelvanto {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using tools::RawConnection;
using tools::RawHttpServer;
using tools::RawRequest;
using tools::RawResponse;

const std::string kTrue = "\xd5\xe6";   // 真
const std::string kFalse = "\xbc\xd9";  // 假
const std::string kAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET "
    "CLR 3.0.04506.648; .NET CLR 3.5.21022)";
const std::string kAcceptLine =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*";

struct Request {
    std::string url{};
    std::string method = "GET";
    std::string proxy{};
    std::string headers{};
    std::string body{};
    std::string cookies{};
    bool redirects = true;
};

struct Answer {
    std::string body;
    std::string cookies;
    std::string headers;
};

RequestBlock MakeBlock(const Request& r) {
    return {Bytes(r.url), Bytes(r.method), Bytes(r.proxy), Bytes(r.headers),
            Bytes(r.body), Bytes(r.cookies), Bytes(r.redirects ? kTrue : kFalse)};
}

Answer Exchange(const Request& r, ExchangeControl* control = nullptr) {
    const StreamHandle stream = MemoryStream::Open();
    EXPECT_TRUE(MemoryStream::WriteData(stream, MakeBlock(r)));
    if (control) {
        HttpExchange(stream, *control);
    } else {
        HttpExchange(stream);
    }
    RequestBlock block(RequestSlot::kCount);
    EXPECT_TRUE(MemoryStream::SeekToStart(stream));
    EXPECT_TRUE(MemoryStream::ReadData(stream, block));
    MemoryStream::Close(stream);
    return {block[0].str(), block[1].str(), block[5].str()};
}

// Answers every request with a small 200 response.
class RecordingServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start()); }

    RawHttpServer server_{[](const RawRequest&, RawConnection& c) { c.Send(RawResponse("200 OK", "ok")); }};
};

TEST_F(RecordingServer, SendsDefaultHeaderLinesInOrder) {
    const std::string url = server_.Url("/a/b?c=1");
    const Answer answer = Exchange({.url = url});
    EXPECT_EQ(answer.body, "ok");
    const RawRequest got = server_.LastRequest();
    EXPECT_EQ(got.RequestLine(), "GET /a/b?c=1 HTTP/1.1");
    EXPECT_THAT(got.HeaderLines(),
                ElementsAre("Host: 127.0.0.1:" + std::to_string(server_.port()), kAgentLine, kAcceptLine,
                            "Referer: " + url, "Accept-Language: zh-cn"));
}

struct HeaderCase {
    const char* name;
    std::string header_text;
    std::vector<std::string> expected_after_host;  // "{url}" stands for the request URL
};

class HeaderLines : public RecordingServer, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderLines, ArriveAsBuilt) {
    const std::string url = server_.Url("/p");
    Exchange({.url = url, .headers = GetParam().header_text});
    std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server_.port())};
    for (std::string line : GetParam().expected_after_host) {
        if (auto at = line.find("{url}"); at != std::string::npos) line.replace(at, 5, url);
        expected.push_back(line);
    }
    EXPECT_EQ(server_.LastRequest().HeaderLines(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    HttpExchange, HeaderLines,
    ::testing::Values(
        HeaderCase{"CallerLinesComeFirst", "X-A: 1\r\nX-B: 2\r\n",
                   {kAgentLine, "X-A: 1", "X-B: 2", kAcceptLine, "Referer: {url}", "Accept-Language: zh-cn"}},
        HeaderCase{"AcceptLanguageCountsAsAccept", "Accept-Language: en\r\n",
                   {kAgentLine, "Accept-Language: en", "Referer: {url}"}},
        HeaderCase{"OwnAcceptKept", "Accept: text/html\r\n",
                   {kAgentLine, "Accept: text/html", "Referer: {url}", "Accept-Language: zh-cn"}},
        HeaderCase{"OwnRefererKept", "Referer: x\r\n",
                   {kAgentLine, "Referer: x", kAcceptLine, "Accept-Language: zh-cn"}},
        HeaderCase{"RefererNoMarkerRemovedRestOfLineStays", "X-Mark: RefererNo keep\r\n",
                   {kAgentLine, "X-Mark:  keep", kAcceptLine, "Accept-Language: zh-cn"}},
        HeaderCase{"RefererNoLineAloneVanishes", "RefererNo\r\n",
                   {kAgentLine, kAcceptLine, "Accept-Language: zh-cn"}},
        HeaderCase{"CallerUserAgentReplacesDefault", "User-Agent: Mine/1\r\n",
                   {"User-Agent: Mine/1", kAcceptLine, "Referer: {url}", "Accept-Language: zh-cn"}},
        HeaderCase{"BlankValueStillSent", "X-Empty: \r\n",
                   {kAgentLine, "X-Empty:", kAcceptLine, "Referer: {url}", "Accept-Language: zh-cn"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordingServer, PostWithBodyGetsContentTypeAndLength) {
    const std::string url = server_.Url("/post");
    Exchange({.url = url, .method = "POST", .body = std::string("k=v\0w", 5)});
    const RawRequest got = server_.LastRequest();
    EXPECT_EQ(got.RequestLine(), "POST /post HTTP/1.1");
    EXPECT_THAT(got.HeaderLines(),
                ElementsAre("Host: 127.0.0.1:" + std::to_string(server_.port()), kAgentLine, kAcceptLine,
                            "Referer: " + url, "Accept-Language: zh-cn",
                            "Content-Type: application/x-www-form-urlencoded", "Content-Length: 5"));
    EXPECT_EQ(got.body, std::string("k=v\0w", 5));
}

TEST_F(RecordingServer, PostWithoutBodyGetsNoContentLines) {
    Exchange({.url = server_.Url("/post"), .method = "POST", .headers = "RefererNo", .cookies = "s=1"});
    const RawRequest got = server_.LastRequest();
    EXPECT_EQ(got.RequestLine(), "POST /post HTTP/1.1");
    EXPECT_THAT(got.HeaderLines(), ElementsAre("Host: 127.0.0.1:" + std::to_string(server_.port()), kAgentLine,
                                               kAcceptLine, "Accept-Language: zh-cn", "Cookie: s=1"));
    EXPECT_THAT(got.body, IsEmpty());
}

TEST_F(RecordingServer, CallersContentLengthInAnyCaseSuppressesDefault) {
    Exchange({.url = server_.Url("/post"), .method = "POST", .headers = "content-length: 3\r\nRefererNo\r\n",
              .body = "abc"});
    EXPECT_THAT(server_.LastRequest().HeaderLines(),
                ElementsAre("Host: 127.0.0.1:" + std::to_string(server_.port()), kAgentLine, "content-length: 3",
                            kAcceptLine, "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded"));
    EXPECT_EQ(server_.LastRequest().body, "abc");
}

TEST_F(RecordingServer, CookieTextGoesInLastLineEvenWhenBlank) {
    Exchange({.url = server_.Url("/c"), .headers = "RefererNo", .cookies = "a=1; b=2"});
    EXPECT_EQ(server_.LastRequest().HeaderLines().back(), "Cookie: a=1; b=2");
    Exchange({.url = server_.Url("/c"), .headers = "RefererNo", .cookies = "   "});
    EXPECT_EQ(server_.LastRequest().HeaderLines().back(), "Cookie:");
}

TEST_F(RecordingServer, UnknownMethodSendsNothing) {
    const Answer answer = Exchange({.url = server_.Url("/x"), .method = "PUT"});
    EXPECT_THAT(server_.Requests(), IsEmpty());
    EXPECT_THAT(answer.body, IsEmpty());
    EXPECT_THAT(answer.headers, IsEmpty());
}

TEST_F(RecordingServer, EnvironmentProxiesAreIgnored) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(tools::ClosedLoopbackPort());
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy", "ALL_PROXY"}) {
        ::setenv(name, dead.c_str(), 1);
    }
    const Answer answer = Exchange({.url = server_.Url("/direct")});
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy", "ALL_PROXY"}) {
        ::unsetenv(name);
    }
    EXPECT_EQ(answer.body, "ok");
    EXPECT_EQ(server_.LastRequest().RequestLine(), "GET /direct HTTP/1.1");
}

TEST_F(RecordingServer, GivenProxyReceivesAbsoluteFormRequest) {
    const std::string proxy = "127.0.0.1:" + std::to_string(server_.port());
    const Answer answer = Exchange({.url = "http://group.example.invalid/q?x=1", .proxy = proxy});
    EXPECT_EQ(answer.body, "ok");
    const RawRequest got = server_.LastRequest();
    EXPECT_EQ(got.RequestLine(), "GET http://group.example.invalid/q?x=1 HTTP/1.1");
    EXPECT_EQ(got.HeaderLines().front(), "Host: group.example.invalid");
    for (const auto& line : got.HeaderLines()) EXPECT_THAT(line, ::testing::Not(HasSubstr("Proxy-Connection")));
}

TEST(HttpExchange, ConnectionRefusedGivesEmptyAnswer) {
    const Answer answer = Exchange({.url = "http://127.0.0.1:" + std::to_string(tools::ClosedLoopbackPort()) + "/x",
                                    .cookies = "sent=1"});
    EXPECT_THAT(answer.body, IsEmpty());
    EXPECT_THAT(answer.headers, IsEmpty());
    EXPECT_THAT(answer.cookies, IsEmpty());
}

TEST(HttpExchange, UnreadableBlockIsLeftAlone) {
    const StreamHandle stream = MemoryStream::Open();
    ASSERT_TRUE(MemoryStream::WriteData(stream, {Bytes(std::string_view("http://127.0.0.1:1/")), Bytes(std::string_view("GET"))}));
    HttpExchange(stream);
    RequestBlock two(2);
    ASSERT_TRUE(MemoryStream::SeekToStart(stream));
    ASSERT_TRUE(MemoryStream::ReadData(stream, two));
    EXPECT_EQ(two[0].str(), "http://127.0.0.1:1/");
    EXPECT_TRUE(MemoryStream::AtEnd(stream));
    MemoryStream::Close(stream);
}

TEST(HttpExchange, RedirectFollowedOrNotByFlag) {
    RawHttpServer server([](const RawRequest& r, RawConnection& c) {
        if (r.RequestLine().starts_with("GET /start")) {
            c.Send(RawResponse("302 Found", "moved", "Location: /final\r\n"));
        } else {
            c.Send(RawResponse("200 OK", "final"));
        }
    });
    ASSERT_TRUE(server.Start());
    const Answer followed = Exchange({.url = server.Url("/start")});
    EXPECT_EQ(followed.body, "final");
    EXPECT_THAT(followed.headers, ::testing::StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(followed.headers, ::testing::Not(HasSubstr("Location")));

    const Answer stayed = Exchange({.url = server.Url("/start"), .redirects = false});
    EXPECT_EQ(stayed.body, "moved");
    EXPECT_THAT(stayed.headers, ::testing::StartsWith("HTTP/1.1 302 Found\r\n"));
    EXPECT_THAT(stayed.headers, HasSubstr("Location: /final\r\n"));
}

// The one Cookie line of a request ("" when there is none; two lines fail the test).
std::string CookieLine(const RawRequest& request) {
    std::string found;
    for (const auto& line : request.HeaderLines()) {
        if (!line.starts_with("Cookie:")) continue;
        EXPECT_THAT(found, IsEmpty()) << "second Cookie line: " << line;
        found = line;
    }
    return found;
}

TEST(HttpExchange, SetCookieLinesAreCollectedAndStoredForTheHost) {
    // "localhost" keeps these cookies away from the other tests, which talk to 127.0.0.1.
    RawHttpServer server([](const RawRequest& r, RawConnection& c) {
        if (r.RequestLine().starts_with("GET /set ")) {
            c.Send(RawResponse("200 OK", "", "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n"));
        } else if (r.RequestLine().starts_with("GET /own ")) {
            c.Send(RawResponse("200 OK", "", "set-cookie: own=3\r\n"));
        } else {
            c.Send(RawResponse("200 OK", ""));
        }
    });
    ASSERT_TRUE(server.Start());
    const std::string base = "http://localhost:" + std::to_string(server.port());

    const Answer set = Exchange({.url = base + "/set", .headers = "RefererNo"});
    EXPECT_EQ(set.cookies, "a=1;b=2;");
    Exchange({.url = base + "/later", .headers = "RefererNo"});
    EXPECT_THAT(CookieLine(server.LastRequest()), AllOf(HasSubstr("a=1"), HasSubstr("b=2")));

    // With cookies of the caller's own the store is neither read nor filled by libcurl, yet
    // what the response sets is still kept for the host.
    const Answer own = Exchange({.url = base + "/own", .headers = "RefererNo", .cookies = "mine=0"});
    EXPECT_EQ(own.cookies, "own=3;");
    EXPECT_EQ(CookieLine(server.LastRequest()), "Cookie: mine=0");
    EXPECT_THAT(CookieLine(server.LastRequest()), ::testing::Not(HasSubstr("a=1")));
    Exchange({.url = base + "/later", .headers = "RefererNo"});
    EXPECT_THAT(CookieLine(server.LastRequest()), AllOf(HasSubstr("a=1"), HasSubstr("own=3")));
}

TEST(HttpExchange, LongHeadersComeBackWhole) {
    const std::string filler(3000, 'x');
    RawHttpServer server([&](const RawRequest&, RawConnection& c) {
        c.Send(RawResponse("200 OK", "b", "X-Filler: " + filler + "\r\nSet-Cookie: late=1; path=/\r\n"));
    });
    ASSERT_TRUE(server.Start());
    const Answer answer = Exchange({.url = "http://localhost:" + std::to_string(server.port()) + "/",
                                    .cookies = "x=1"});
    EXPECT_THAT(answer.headers, HasSubstr("X-Filler: " + filler + "\r\n"));
    EXPECT_THAT(answer.headers, ::testing::EndsWith("Set-Cookie: late=1; path=/\r\n\r\n"));
    EXPECT_EQ(answer.cookies, "late=1;");
}

TEST(HttpExchange, BodyKeepsEveryByte) {
    const std::string body("a\0b\0\xff", 5);
    RawHttpServer server([&](const RawRequest&, RawConnection& c) { c.Send(RawResponse("200 OK", body)); });
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(Exchange({.url = server.Url("/")}).body, body);
}

TEST(HttpExchange, ResetMidBodyKeepsWhatArrived) {
    const std::string part(100, 'p');
    RawHttpServer server([&](const RawRequest&, RawConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + part);
        c.Reset();
    });
    ASSERT_TRUE(server.Start());
    const Answer answer = Exchange({.url = server.Url("/")});
    EXPECT_TRUE(part.starts_with(answer.body));
    EXPECT_THAT(answer.headers, ::testing::StartsWith("HTTP/1.1 200 OK"));
}

TEST(HttpExchange, StopsReadingAtTheCap) {
    RawHttpServer server([](const RawRequest&, RawConnection& c) {
        const std::size_t total = kMaxResponseBytes + (std::size_t{16} << 20);
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n");
        const std::string chunk(std::size_t{1} << 20, 'z');
        for (std::size_t sent = 0; sent < total && c.Send(chunk); sent += chunk.size()) {
        }
        c.Close();
    });
    ASSERT_TRUE(server.Start());
    const Answer answer = Exchange({.url = server.Url("/")});
    EXPECT_EQ(answer.body.size(), kMaxResponseBytes);
    server.Stop();
}

TEST(HttpExchange, CancelEndsAStalledExchange) {
    RawHttpServer server([&](const RawRequest&, RawConnection& c) { c.WaitForPeerClose(); });
    ASSERT_TRUE(server.Start());
    ExchangeControl control;
    Answer answer;
    std::thread exchange([&] { answer = Exchange({.url = server.Url("/")}, &control); });
    while (server.Requests().empty()) std::this_thread::yield();
    control.Cancel();
    exchange.join();  // returns only because the cancel reached the transfer
    EXPECT_THAT(answer.body, IsEmpty());
    EXPECT_THAT(answer.headers, IsEmpty());
}

TEST(HttpExchange, CancelledBeforeStartSendsNothing) {
    RawHttpServer server([](const RawRequest&, RawConnection& c) { c.Send(RawResponse("200 OK", "ok")); });
    ASSERT_TRUE(server.Start());
    ExchangeControl control;
    control.Cancel();
    EXPECT_THAT(Exchange({.url = server.Url("/")}, &control).body, IsEmpty());
}

struct PrepareCase {
    const char* name;
    std::string url;
    std::string headers;
    bool https;
    int port;
    std::string agent;
};

class PrepareRequestCases : public ::testing::TestWithParam<PrepareCase> {};

TEST_P(PrepareRequestCases, PicksSchemePortAndAgent) {
    const auto& c = GetParam();
    const OutgoingRequest r = PrepareRequest(Text(c.url), "GET", Text(c.headers), Bytes(), Text(), true);
    EXPECT_EQ(r.https, c.https);
    EXPECT_EQ(r.port, c.port);
    EXPECT_EQ(r.user_agent.str(), c.agent);
}

const std::string kAgent = kAgentLine.substr(12);

INSTANTIATE_TEST_SUITE_P(
    HttpExchange, PrepareRequestCases,
    ::testing::Values(PrepareCase{"PlainHttp", "http://h:81/x", "", false, 81, kAgent},
                      PrepareCase{"HttpsAnywhereMeansHttps", "http://h/r?u=https://x", "", true, 443, kAgent},
                      PrepareCase{"HttpsUpperCase", "HTTPS://h/", "", true, 443, kAgent},
                      PrepareCase{"AgentTrimmed", "http://h/", "user-agent:  Me 2 \r\n", false, 80, "Me 2"},
                      PrepareCase{"AgentLineLastWithoutEnd", "http://h/", "User-Agent: Me", false, 80, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpExchange, PrepareRequestTurnsStoreOffOnlyForNonBlankCookies) {
    EXPECT_TRUE(PrepareRequest("http://h/", "GET", Text(), Bytes(), "  ", true).use_cookie_store);
    EXPECT_FALSE(PrepareRequest("http://h/", "GET", Text(), Bytes(), "a=1", true).use_cookie_store);
    EXPECT_EQ(PrepareRequest("http://h/", "GET", "RefererNo", Bytes(), "  ", true).header_text.str(),
              kAcceptLine + "\r\nAccept-Language: zh-cn\r\nCookie:   \r\n\r\n");
}

struct CookieCase {
    const char* name;
    std::string headers;
    std::string text;
    std::vector<std::pair<std::string, std::string>> cookies;
};

class CollectCookiesCases : public ::testing::TestWithParam<CookieCase> {};

TEST_P(CollectCookiesCases, BuildTextAndPairs) {
    const CollectedCookies got = CollectCookies(Text(GetParam().headers));
    EXPECT_EQ(got.text.str(), GetParam().text);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [n, d] : got.cookies) pairs.emplace_back(n.str(), d.str());
    EXPECT_EQ(pairs, GetParam().cookies);
}

INSTANTIATE_TEST_SUITE_P(
    HttpExchange, CollectCookiesCases,
    ::testing::Values(
        CookieCase{"TwoCookies", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n\r\n",
                   "a=1;b=2;", {{"a", "1; path=/"}, {"b", "2; HttpOnly"}}},
        CookieCase{"LowerCaseName", "HTTP/1.1 200 OK\r\nset-cookie: a=1; x\r\n", "a=1;", {{"a", "1; x"}}},
        CookieCase{"NoSemicolonCountsWhole", "HTTP/1.1 200 OK\r\nSet-Cookie: k=v\r\n", "k=v;", {{"k", "v"}}},
        CookieCase{"NoEqualsGivesEmptyName", "HTTP/1.1 200 OK\r\nSet-Cookie: flag; x\r\n", "flag;",
                   {{"", "flag; x"}}},
        CookieCase{"NoSetCookie", "HTTP/1.1 200 OK\r\nX: y\r\n", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qelvanto
