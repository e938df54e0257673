#include "collect/search_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/regex_object.h"
#include "text/codepage.h"

namespace qelvanto {
namespace {

// One record in the service's exact member order; `age` and `tail` let a test spoil it.
std::string Record(const std::string& number, const std::string& members, const std::string& name,
                   const std::string& age = "23", const std::string& member_key = "memberCount",
                   const std::string& creator_extra = "") {
    return "{\"groupNum\":" + number + ",\"ugroupId\":7001,\"ownerId\":88,\"logoIndex\":2,\"" +
           member_key + "\":" + members + ",\"name\":\"" + name +
           "\",\"creator\":{\"uid\":5,\"imid\":6,\"nick\":\"nick\",\"logoIndex\":1,\"jifen\":0," +
           creator_extra + "\"followed\":false,\"age\":" + age + "}}";
}

std::string Page(const std::vector<std::string>& records) {
    std::string body = "groupCallback({\"status\":0,\"total\":99,\"groups\":[";
    for (std::size_t i = 0; i < records.size(); ++i) body += (i ? "," : "") + records[i];
    return body + "]})";
}

std::vector<GroupRecord> Parse(const std::string& utf8_body) {
    return ParseGroupPage(Utf8ToAnsi(Text(utf8_body)));
}

TEST(SearchProtocol, RecordPatternIsThe197CharacterLiteral) {
    EXPECT_EQ(kGroupRecordPattern.size(), 197u);
    EXPECT_TRUE(kGroupRecordPattern.starts_with(R"({"groupNum":\d+,)"));
    EXPECT_TRUE(kGroupRecordPattern.ends_with(R"(,"followed":(.*?),"age":\d+}})"));
}

TEST(SearchProtocol, RecordsOfAJsonpPageInBodyOrder) {
    const auto records =
        Parse(Page({Record("123456", "350", "first"), Record("98765", "40", "second")}));
    EXPECT_EQ(records, (std::vector<GroupRecord>{{"first", "123456", "350"},
                                                 {"second", "98765", "40"}}));
}

TEST(SearchProtocol, ChineseNamesComeOutInCodePage936) {
    // u8"中文群" in the UTF-8 body.
    const auto records = Parse(Page({Record("1", "2", "\xe4\xb8\xad\xe6\x96\x87\xe7\xbe\xa4")}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, Text("\xd6\xd0\xce\xc4\xc8\xba"));
}

TEST(SearchProtocol, EscapesStayAsInTheBody) {
    const auto records = Parse(Page({Record("1", "2", R"(say \"hi\" now)"),
                                     Record("3", "4", R"(\u4e2d\u6587)")}));
    ASSERT_EQ(records.size(), 2u);
    // The record matches as a whole, but the name ends at the escaped quote, backslash kept.
    EXPECT_EQ(records[0].name, Text(R"(say \)"));
    EXPECT_EQ(records[1].name, Text(R"(\u4e2d\u6587)"));
}

TEST(SearchProtocol, MemberKeyInOtherLetterCaseStillCounts) {
    const auto records = Parse(Page({Record("11", "77", "n", "23", "MemberCOUNT")}));
    EXPECT_EQ(records, (std::vector<GroupRecord>{{"n", "11", "77"}}));
}

TEST(SearchProtocol, RecordsThatDoNotKeepTheShapeAreNotSeen) {
    const std::vector<std::string> bodies = {
        Page({Record("1", "2", "n", "23", "memberCount", "\"vip\":1,")}),  // extra creator member
        Page({Record("-1", "2", "n")}),
        Page({Record("1", "-2", "n")}),
        Page({Record("1", "2", "n", "-23")}),
        Page({Record("1", "2.5", "n")}),
        Page({Record("1", " 2", "n")}),
        "",
        "groupCallback({\"groups\":[]})",
    };
    for (const auto& body : bodies) EXPECT_TRUE(Parse(body).empty()) << body;
}

TEST(SearchProtocol, BodyEndsAtANulByte) {
    std::string body = Page({Record("1", "2", "a")}) + '\0' + Page({Record("3", "4", "b")});
    EXPECT_EQ(ParseGroupPage(Text(std::string_view(body))).size(), 1u);
}

TEST(SearchProtocol, InvalidUtf8AroundRecordsIsHarmless) {
    const auto records = Parse("\xff\xfe\xc3(" + Page({Record("1", "2", "a\xe4\xb8")}) + "\x80");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].group_number, Text("1"));
}

TEST(SearchProtocol, ManyNearRecordsEndWithADefiniteCount) {
    // Every record fails at its last member, so the lazy groups could try every later record.
    std::vector<std::string> near;
    for (int i = 0; i < 10'000; ++i) near.push_back(Record(std::to_string(i), "5", "g", "-1"));
    EXPECT_EQ(Parse(Page(near)).size(), 0u);
    // Good records before the hostile part are kept.
    std::string body = Page({Record("1", "2", "a"), Record("3", "4", "b")}) + Page(near);
    EXPECT_EQ(Parse(body).size(), 2u);
}

TEST(SearchProtocol, CallersMatcherIsReusedAcrossPages) {
    RegexObject matcher;
    EXPECT_EQ(ParseGroupPage(Utf8ToAnsi(Text(Page({Record("1", "2", "a")}))), matcher).size(), 1u);
    EXPECT_EQ(matcher.SubmatchCount(), 3);
    EXPECT_TRUE(ParseGroupPage(Text("nothing"), matcher).empty());
    EXPECT_EQ(matcher.SubmatchCount(), 0);
    const auto records = ParseGroupPage(
        Utf8ToAnsi(Text(Page({Record("5", "6", "c"), Record("7", "8", "d")}))), matcher);
    EXPECT_EQ(records, (std::vector<GroupRecord>{{"c", "5", "6"}, {"d", "7", "8"}}));
}

TEST(SearchProtocol, UrlPiecesInOrder) {
    const std::string url = BuildSearchUrl(0, "ab", "1700000000123", "http://h/group/search/").str();
    const std::string head = "http://h/group/search/0?callback=groupCallback&name=%61%62&currentuid=";
    ASSERT_EQ(url.substr(0, head.size()), head);
    const std::string rest = url.substr(head.size());
    ASSERT_EQ(rest.size(), 9u + 3u + 13u) << rest;
    EXPECT_EQ(rest.find_first_not_of("0123456789"), 9u);
    EXPECT_EQ(rest.substr(9), "&_=1700000000123");
}

TEST(SearchProtocol, UrlEncodesEveryKeywordByteFromUtf8) {
    struct Case {
        Text keyword;
        std::string encoded;
    };
    const std::vector<Case> cases = {
        {"Az09", "%41%7A%30%39"},
        {" ", "%20"},
        {"a&b=c", "%61%26%62%3D%63"},
        {"\xd6\xd0\xce\xc4", "%E4%B8%AD%E6%96%87"},  // 中文
        {"", ""},
    };
    for (const auto& c : cases) {
        const std::string url = BuildSearchUrl(12, c.keyword, "", "B/").str();
        EXPECT_EQ(url.substr(0, url.find("&currentuid=")),
                  "B/12?callback=groupCallback&name=" + c.encoded);
        EXPECT_EQ(url.substr(url.size() - 3), "&_=");  // no time known
    }
}

TEST(SearchProtocol, DefaultBaseIsTheSearchPath) {
    const std::string base = DefaultSearchBase().str();
    EXPECT_EQ(base.substr(0, 7), "http://");
    EXPECT_EQ(base.substr(base.size() - 14), "/group/search/");
    EXPECT_EQ(BuildSearchUrl(3, "a", "9").str().substr(0, base.size() + 2), base + "3?");
}

}  // namespace
}  // namespace qelvanto
