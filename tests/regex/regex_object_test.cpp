#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qelvanto {
namespace {

struct Positioned {
    std::string text;
    int position;
    friend bool operator==(const Positioned&, const Positioned&) = default;
};

std::ostream& operator<<(std::ostream& out, const Positioned& p) {
    return out << '"' << p.text << "\"@" << p.position;
}

std::vector<Positioned> AllMatches(const RegexObject& rx) {
    std::vector<Positioned> out;
    for (int i = 1; i <= rx.MatchCount(); ++i) {
        int position = -100;
        Text text = rx.MatchText(i, &position);
        out.push_back({text.str(), position});
    }
    return out;
}

// Options as Create takes them; nullopt means omitted.
struct OptionCase {
    const char* name;
    const char* pattern;
    const char* subject;
    std::optional<bool> case_sensitive;
    std::optional<bool> multi_line;
    std::optional<bool> global;
    int count;
};

class RegexObjectOptions : public testing::TestWithParam<OptionCase> {};

TEST_P(RegexObjectOptions, CountsMatches) {
    const OptionCase& c = GetParam();
    RegexObject rx;
    ASSERT_TRUE(rx.Create(c.pattern, c.subject, c.case_sensitive, c.multi_line, c.global));
    EXPECT_EQ(rx.MatchCount(), c.count);
}

INSTANTIATE_TEST_SUITE_P(
    RegexObject, RegexObjectOptions,
    testing::Values(
        OptionCase{"OmittedIgnoresCase", "abc", "xABCx", {}, {}, {}, 1},
        OptionCase{"CaseSensitiveWhenAsked", "abc", "xABCx", true, {}, {}, 0},
        OptionCase{"FalseIgnoresCase", "abc", "xABCx", false, {}, {}, 1},
        // Greek alpha against capital alpha: case is ignored beyond ASCII.
        OptionCase{"IgnoresCaseOfEveryLetter", "\xa6\xc1", "\xa6\xa1", {}, {}, {}, 1},
        OptionCase{"CyrillicCaseSensitive", "\xa7\xd5", "\xa7\xa5", true, {}, {}, 0},
        OptionCase{"OmittedIsMultiLine", "^b$", "a\nb\nc", {}, {}, {}, 1},
        OptionCase{"SingleLineWhenAsked", "^b$", "a\nb\nc", {}, false, {}, 0},
        OptionCase{"SingleLineDollarOnlyAtEnd", "b$", "a\nb\n", {}, false, {}, 0},
        OptionCase{"OmittedIsGlobal", "a", "aXaXa", {}, {}, {}, 3},
        OptionCase{"FirstOnlyWhenNotGlobal", "a", "aXaXa", {}, {}, false, 1},
        OptionCase{"DotStopsAtLineFeed", "a.b", "a\nb", {}, {}, {}, 0},
        OptionCase{"DotTakesCarriageReturn", "a.b", "a\rb", {}, {}, {}, 1},
        OptionCase{"DotTakesDoubleByteCharacter", "^a.b$", "a\xd6\xd0" "b", {}, {}, {}, 1},
        OptionCase{"DigitClassIsAscii", "\\d", "\xa3\xb1", {}, {}, {}, 0},
        // The trail byte 0x41 of this character is no letter A.
        OptionCase{"TrailByteIsNoLetter", "a", "\x81\x41", {}, {}, {}, 0},
        // The trail byte 0x5C of this character is no backslash: the pattern is the
        // character followed by the letter d, not an escape.
        OptionCase{"TrailByteIsNoBackslash", "\x81\x5c" "d", "\x81\x5c" "d 7", {}, {}, {}, 1},
        OptionCase{"NoMatchIsNoFailure", "zzz", "abc", {}, {}, {}, 0},
        OptionCase{"EmptySubject", "a*", "", {}, {}, {}, 1},
        OptionCase{"NonGreedyGroupTakesShortest", "<(.*?)>", "<a><b>", {}, {}, {}, 2}),
    [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST(RegexObject, PositionsAreByteOffsetsAfterDoubleByteCharacters) {
    RegexObject rx;
    // "中文" then abc, then the GB18030 four-byte form of an emoji (a surrogate pair in
    // UTF-16) then abc.
    ASSERT_TRUE(rx.Create("abc", "\xd6\xd0\xce\xc4" "abc" "\x94\x39\xfc\x36" "abc"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"abc", 4}, {"abc", 11}}));
}

TEST(RegexObject, PositionsOfAdjacentIdenticalMatches) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("ab", "abab"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"ab", 0}, {"ab", 2}}));
    ASSERT_TRUE(rx.Create("\xd6\xd0", "\xd6\xd0\xd6\xd0"));
    EXPECT_EQ(AllMatches(rx),
              (std::vector<Positioned>{{"\xd6\xd0", 0}, {"\xd6\xd0", 2}}));
}

TEST(RegexObject, MatchTextKeepsTheSubjectsLetterCase) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("name", "x NaMe y"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"NaMe", 2}}));
}

TEST(RegexObject, EmptyMatchesMoveOnByOneCharacter) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("x*", "ab"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"", 0}, {"", 1}, {"", 2}}));
    // One step is a whole character, never half of one.
    ASSERT_TRUE(rx.Create("x*", "\xd6\xd0" "a"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"", 0}, {"", 2}, {"", 3}}));
    ASSERT_TRUE(rx.Create("a*", "baa"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"", 0}, {"aa", 1}, {"", 3}}));
}

TEST(RegexObject, SubmatchesWithPositions) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("(\\d+)-(\\d+)", "\xd6\xd0" "12-345 6-7"));
    ASSERT_EQ(rx.MatchCount(), 2);
    EXPECT_EQ(rx.SubmatchCount(), 2);
    int position = -100;
    EXPECT_EQ(rx.SubmatchText(1, 2, &position), Text("345"));
    EXPECT_EQ(position, 5);
    EXPECT_EQ(rx.SubmatchText(2, 1, &position), Text("6"));
    EXPECT_EQ(position, 9);
    // The group's own position, also when its text occurs earlier in the match.
    ASSERT_TRUE(rx.Create("a(a)", "xaa"));
    EXPECT_EQ(rx.SubmatchText(1, 1, &position), Text("a"));
    EXPECT_EQ(position, 2);
}

TEST(RegexObject, GroupThatTookNoPartIsEmpty) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("(a)|(b)", "b"));
    EXPECT_EQ(rx.SubmatchCount(), 2);
    int position = -100;
    EXPECT_EQ(rx.SubmatchText(1, 1, &position), Text());
    EXPECT_EQ(position, -1);
    EXPECT_EQ(rx.SubmatchText(1, 2, &position), Text("b"));
    EXPECT_EQ(position, 0);
}

TEST(RegexObject, NumbersOutOfRangeGiveEmptyText) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("(a)", "aa"));
    ASSERT_EQ(rx.MatchCount(), 2);
    for (int match : {-1, 0, 3}) {
        int position = -100;
        EXPECT_EQ(rx.MatchText(match, &position), Text()) << match;
        EXPECT_EQ(position, -1) << match;
        EXPECT_EQ(rx.SubmatchText(match, 1), Text()) << match;
    }
    for (int group : {-1, 0, 2}) EXPECT_EQ(rx.SubmatchText(1, group), Text()) << group;
}

TEST(RegexObject, PositionIsWrittenOnlyWhenAsked) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("b", "ab"));
    EXPECT_EQ(rx.MatchText(1), Text("b"));
    EXPECT_EQ(rx.MatchText(1, nullptr), Text("b"));
    EXPECT_EQ(rx.SubmatchText(1, 1, nullptr), Text());
}

TEST(RegexObject, PatternThatDoesNotCompileLeavesNothing) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("a", "a"));
    for (const char* bad : {"(", "a{2,1}", "[z-a]", "\\"}) {
        EXPECT_FALSE(rx.Create(bad, "a(")) << bad;
        EXPECT_EQ(rx.MatchCount(), 0) << bad;
        EXPECT_EQ(rx.SubmatchCount(), 0) << bad;
        EXPECT_EQ(rx.MatchText(1), Text()) << bad;
        EXPECT_EQ(rx.Replace("x"), Text()) << bad;
        EXPECT_EQ(rx.Pattern(), Text(bad)) << bad;
    }
}

TEST(RegexObject, EverythingIsEmptyBeforeCreate) {
    RegexObject rx;
    EXPECT_EQ(rx.Pattern(), Text());
    EXPECT_EQ(rx.MatchCount(), 0);
    EXPECT_EQ(rx.SubmatchCount(), 0);
    EXPECT_EQ(rx.MatchText(1), Text());
    EXPECT_EQ(rx.Replace("x"), Text());
    ASSERT_TRUE(rx.Create("p+", "pp"));
    EXPECT_EQ(rx.Pattern(), Text("p+"));
}

TEST(RegexObject, SubmatchCountIsZeroWithoutMatch) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("(a)(b)", "xyz"));
    EXPECT_EQ(rx.SubmatchCount(), 0);
    ASSERT_TRUE(rx.Create("(a)(b)", "ab"));
    EXPECT_EQ(rx.SubmatchCount(), 2);
}

TEST(RegexObject, ReplaceEveryMatchOrOnlyTheFirst) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("a", "\xd6\xd0" "AXa"));
    EXPECT_EQ(rx.Replace("-"), Text("\xd6\xd0" "-X-"));
    ASSERT_TRUE(rx.Create("a", "\xd6\xd0" "AXa", {}, {}, false));
    EXPECT_EQ(rx.Replace("-"), Text("\xd6\xd0" "-Xa"));
    ASSERT_TRUE(rx.Create("(\\w)(\\d)", "a1 b2"));
    EXPECT_EQ(rx.Replace("$2$1\xce\xc4"), Text("1a\xce\xc4 2b\xce\xc4"));
    // The stored subject and its matches stay as they were.
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"a1", 0}, {"b2", 3}}));
    ASSERT_TRUE(rx.Create("zz", "abc"));
    EXPECT_EQ(rx.Replace("x"), Text("abc"));
}

TEST(RegexObject, SecondCreateReplacesSubject) {
    RegexObject rx;
    ASSERT_TRUE(rx.Create("b", "abc"));
    ASSERT_TRUE(rx.Create("b", "\xd6\xd0" "bb"));
    EXPECT_EQ(AllMatches(rx), (std::vector<Positioned>{{"b", 2}, {"b", 3}}));
    EXPECT_EQ(rx.Replace("c"), Text("\xd6\xd0" "cc"));
    ASSERT_TRUE(rx.Create("B", "xb", true));
    EXPECT_EQ(rx.MatchCount(), 0);
}

TEST(RegexObject, CopiesAreIndependent) {
    RegexObject original;
    ASSERT_TRUE(original.Create("(b)", "abab"));
    RegexObject copy(original);
    RegexObject assigned;
    ASSERT_TRUE(assigned.Create("x", "x"));
    assigned = original;
    ASSERT_TRUE(original.Create("z", "zzz", {}, {}, false));
    for (const RegexObject* rx : {&copy, &assigned}) {
        EXPECT_EQ(AllMatches(*rx), (std::vector<Positioned>{{"b", 1}, {"b", 3}}));
        EXPECT_EQ(rx->SubmatchText(2, 1), Text("b"));
        EXPECT_EQ(rx->Pattern(), Text("(b)"));
        EXPECT_EQ(rx->Replace("c"), Text("acac"));
    }
    EXPECT_EQ(original.MatchCount(), 1);
    EXPECT_EQ(original.Replace("y"), Text("yzz"));
    // A copy matches on its own after its own Create.
    ASSERT_TRUE(copy.Create("a", "aa"));
    EXPECT_EQ(copy.MatchCount(), 2);
    EXPECT_EQ(assigned.MatchCount(), 2);
}

TEST(RegexObject, HitLimitKeepsTheMatchesFoundBefore) {
    RegexObject rx;
    // The second search backtracks exponentially over the run of a's.
    ASSERT_TRUE(rx.Create("(a+)+b|^x", Text("x\n" + std::string(40, 'a') + "c")));
    EXPECT_EQ(rx.MatchCount(), 1);
    EXPECT_EQ(rx.MatchText(1), Text("x"));
}

}  // namespace
}  // namespace qelvanto
