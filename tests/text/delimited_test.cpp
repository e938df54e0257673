#include "text/delimited.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "support/print_text.h"

namespace qelvanto {

namespace {

Text T(std::string_view s) { return Text(s); }

// "#引号"
const std::string kQuote = "#\xd2\xfd\xba\xc5";

struct BetweenCase {
    const char* name;
    std::string subject;
    std::string left;
    std::string right;
    std::optional<int> start;
    bool case_sensitive;
    std::string expected;
};

void PrintTo(const BetweenCase& c, std::ostream* os) { *os << c.name; }

class TextBetweenCases : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenCases, CutsTextBetweenDelimiters) {
    const BetweenCase& c = GetParam();
    EXPECT_EQ(TextBetween(T(c.subject), T(c.left), T(c.right), c.start, c.case_sensitive),
              T(c.expected));
}

// A group record as the search endpoint sends it, after conversion to code page 936.
const std::string kRecord =
    "{\"gc\":123456789,\"gn\":\"\xd6\xd0\xce\xc4 Group\",\"mc\":321,\"gi\":\"x\"}";

INSTANTIATE_TEST_SUITE_P(
    TextBetween, TextBetweenCases,
    testing::Values(
        BetweenCase{"GroupNumber", kRecord, "\"gc\":", ",", std::nullopt, false, "123456789"},
        BetweenCase{"NameWithoutQuotes", kRecord, "\"gn\":\"", "\",", std::nullopt, false,
                    "\xd6\xd0\xce\xc4 Group"},
        BetweenCase{"NameThroughQuoteMarker", kRecord, kQuote + "gn" + kQuote + ":" + kQuote,
                    kQuote + ",", std::nullopt, false, "\xd6\xd0\xce\xc4 Group"},
        BetweenCase{"MarkerAloneIsOneQuote", "say \"hi\" now", kQuote, kQuote, std::nullopt,
                    false, "hi"},
        BetweenCase{"LeftMissing", "abc", "x", "c", std::nullopt, false, ""},
        BetweenCase{"LeftOnlyBeforeStart", "[a] [b]", "[", "]", 2, false, "b"},
        BetweenCase{"LeftMissingAfterStart", "[a] b", "[", "]", 2, false, ""},
        BetweenCase{"RightMissingAfterLeft", "a]b[cde", "[", "]", std::nullopt, false, ""},
        BetweenCase{"RightBeforeLeftIgnored", "]x[yy]z", "[", "]", std::nullopt, false, "yy"},
        BetweenCase{"RightDirectlyAfterLeftFromStartFive", "abcd[]efg]", "[", "]", 5, false, ""},
        BetweenCase{"EmptyRight", "a[b]c", "[", "", std::nullopt, false, ""},
        BetweenCase{"EmptyLeftIsFoundAtFirstByte", "ab]c", "", "]", std::nullopt, false, "ab"},
        BetweenCase{"EmptySubject", "", "", "", std::nullopt, false, ""},
        BetweenCase{"LeftAtVeryEnd", "ab[", "[", "]", std::nullopt, false, ""},
        BetweenCase{"IgnoresCaseByDefault", "<TD>x</td>", "<td>", "</TD>", std::nullopt, false,
                    "x"},
        BetweenCase{"CaseSensitiveWhenAsked", "<TD>x</td>", "<td>", "</TD>", std::nullopt, true,
                    ""},
        // The right delimiter's second-byte look-alike inside the remainder is skipped: the
        // remainder "\xc4]" + "]" holds 0x5D as a second byte first.
        BetweenCase{"RightNeverAtSecondByte", "[\xc4]x]", "[", "]", std::nullopt, false, "\xc4]x"},
        BetweenCase{"IntMinStart", "[a]", "[", "]", INT_MIN, false, "a"},
        BetweenCase{"IntMaxStart", "[a]", "[", "]", INT_MAX, false, ""}),
    [](const testing::TestParamInfo<BetweenCase>& info) { return std::string(info.param.name); });

TEST(TextBetween, FindsDelimitersDeepInALargePage) {
    std::string page;
    while (page.size() < 200'000) page += "<div class=\"x\">\xd6\xd0\xce\xc4 text ab</div>\n";
    page += "<span id=\"TARGET\">\xba\xc3 found</span>";
    EXPECT_EQ(TextBetween(T(page), "<span id=\"target\">", "</SPAN>"), T("\xba\xc3 found"));
}

struct BeforeCase {
    const char* name;
    std::string subject;
    std::string delimiter;
    std::optional<int> start;
    bool case_insensitive;
    std::string expected;
};

void PrintTo(const BeforeCase& c, std::ostream* os) { *os << c.name; }

class TextBeforeCases : public testing::TestWithParam<BeforeCase> {};

TEST_P(TextBeforeCases, GivesTextInFrontOfDelimiter) {
    const BeforeCase& c = GetParam();
    EXPECT_EQ(TextBefore(T(c.subject), T(c.delimiter), c.start, c.case_insensitive),
              T(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    TextBefore, TextBeforeCases,
    testing::Values(
        BeforeCase{"CookiePart", "sid=1; path=/", ";", std::nullopt, false, "sid=1"},
        BeforeCase{"DelimiterAtFirstByte", ";a", ";", std::nullopt, false, ""},
        BeforeCase{"Missing", "abc", ";", std::nullopt, false, ""},
        BeforeCase{"StartZeroAsOne", "a;b;c", ";", 0, false, "a"},
        BeforeCase{"NegativeStartAsOne", "a;b;c", ";", -4, false, "a"},
        BeforeCase{"IntMinStartAsOne", "a;b;c", ";", INT_MIN, false, "a"},
        BeforeCase{"CountsFromFirstByteWhateverStart", "a;b;c", ";", 3, false, "a;b"},
        BeforeCase{"RespectsCaseByDefault", "aXbxc", "x", std::nullopt, false, "aXb"},
        BeforeCase{"IgnoresCaseWhenAsked", "aXbxc", "x", std::nullopt, true, "a"},
        BeforeCase{"IntMaxStart", "a;b", ";", INT_MAX, false, ""},
        BeforeCase{"EmptySubject", "", ";", std::nullopt, false, ""}),
    [](const testing::TestParamInfo<BeforeCase>& info) { return std::string(info.param.name); });

constexpr double kSecond = 1.0 / 86400.0;

TEST(FormatTimeOfDay, WritesFourStylesWithoutLeadingZeros) {
    const DateTime t{45000.0 + (9 * 3600 + 5 * 60 + 3) * kSecond};
    EXPECT_EQ(FormatTimeOfDay(std::nullopt, t), T("9\xca\xb1" "5\xb7\xd6" "3\xc3\xeb"));  // 9时5分3秒
    EXPECT_EQ(FormatTimeOfDay(0, t), T("9\xca\xb1" "5\xb7\xd6" "3\xc3\xeb"));
    EXPECT_EQ(FormatTimeOfDay(1, t), T("9:5:3"));
    EXPECT_EQ(FormatTimeOfDay(2, t), T("9-5-3"));
    EXPECT_EQ(FormatTimeOfDay(3, t), T("9/5/3"));
    EXPECT_EQ(FormatTimeOfDay(4, t), Text());
    EXPECT_EQ(FormatTimeOfDay(-1, t), Text());
    EXPECT_EQ(FormatTimeOfDay(INT_MIN, t), Text());
    EXPECT_EQ(FormatTimeOfDay(1, DateTime{45000.0}), T("0:0:0"));
    EXPECT_EQ(FormatTimeOfDay(1, DateTime{45000.0 + (23 * 3600 + 59 * 60 + 58) * kSecond}),
              T("23:59:58"));
}

TEST(FormatTimeOfDay, DefaultsToTheCurrentTime) {
    const Text now = FormatTimeOfDay(1);
    // h:m:s with one or two digits each.
    ASSERT_GE(now.size(), 5u);
    EXPECT_EQ(std::count(now.str().begin(), now.str().end(), ':'), 2);
}

TEST(ScriptTimestamp, IsMillisecondDigitsSinceTheEpoch) {
    const Text stamp = ScriptTimestamp();
    ASSERT_EQ(stamp.size(), 13u);  // true from 2001 to 2286
    for (unsigned char c : stamp.view()) EXPECT_TRUE(c >= '0' && c <= '9');
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    EXPECT_LE(std::stoll(stamp.str()), ms);
    EXPECT_GT(std::stoll(stamp.str()), ms - 60'000);
}

}  // namespace
}  // namespace qelvanto
