#include "web/url.h"

#include <gtest/gtest.h>

#include "support/print_text.h"

#include <climits>
#include <ostream>
#include <string>

namespace qelvanto {

namespace {

struct UrlCase {
    const char* name;
    std::string url;
    std::string host;
    std::string path;
    std::int32_t port;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class UrlSplitting : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlSplitting, CutsHostPathAndPort) {
    const UrlCase& c = GetParam();
    const Text url(c.url);
    EXPECT_EQ(UrlHost(url), Text(c.host));
    EXPECT_EQ(UrlPath(url), Text(c.path));
    EXPECT_EQ(UrlPort(url), c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Url, UrlSplitting,
    testing::Values(
        UrlCase{"Full", "http://Host1:82/a/b?c=1", "host1", "/a/b?c=1", 82},
        UrlCase{"HostOnly", "http://host1", "host1", "/", 80},
        UrlCase{"QueryWithoutSlash", "http://host1?x=1", "host1?x=1", "/", 80},
        UrlCase{"EmptyPortText", "http://host1:/x", "host1", "/x", 0},
        UrlCase{"NoScheme", "host1:81/x", "host1", "/x", 81},
        // Only "http://" is recognised for the port, so "https:" is the host part there.
        UrlCase{"Https", "https://host1:444/x", "host1", "/x", 0},
        UrlCase{"SchemeInsideQuery", "http://host1/r?u=http://host2/", "host1",
                "/r?u=http://host2/", 80},
        UrlCase{"CapitalScheme", "HTTP://Host1/x", "http", "//Host1/x", 80},
        UrlCase{"CapitalSchemeWithPort", "HTTP://Host1:8080/x", "http", "//Host1:8080/x", 8080},
        UrlCase{"HostInsideScheme", "http://h/x", "h", "//h/x", 80},
        UrlCase{"UserInfoNotRecognised", "http://user:pw@host/x", "user", "/x", 0},
        UrlCase{"PortNotANumber", "http://host:abc/x", "host", "/x", 0},
        UrlCase{"PortWithFraction", "http://host:8.9/x", "host", "/x", 8},
        UrlCase{"PortWithExponent", "http://host:1d3/x", "host", "/x", 1000},
        UrlCase{"NegativePort", "http://host:-5/x", "host", "/x", -5},
        UrlCase{"HugePortSaturates", "http://host:1e300/", "host", "/", INT_MAX},
        UrlCase{"HugeNegativePortSaturates", "http://host:-1e300/", "host", "/", INT_MIN},
        UrlCase{"InfinitePortSaturates", "http://host:1e999/", "host", "/", INT_MAX},
        UrlCase{"Empty", "", "", "/", 80}, UrlCase{"SchemeOnly", "http://", "", "//", 80},
        UrlCase{"ShortText", "http:/", "http", "/", 0},
        UrlCase{"ChineseHostKeepsSecondBytes", "http://\xc4\x41.cn/p", "\xc4\x41.cn", "/p", 80},
        UrlCase{"SlashAsSecondByteIsNoSlash", "http://h\xc4/x/y", "h\xc4/x", "/y", 80},
        UrlCase{"TrailingLeadByte", "http://h/\xc4", "h", "//h/\xc4", 80}),
    [](const testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qelvanto
