#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "text/codepage.h"

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

// A subject of a few hundred kilobytes of every kind of character, in a fixed pseudo-random
// order, so that characters of each kind fall on the places where a long subject is cut up.
std::string MixedSubject(std::size_t size, unsigned seed, std::size_t ascii_prefix) {
    static const char* const kPieces[] = {
        "a",
        "Z",
        "\n",
        " ",
        "\"",
        "\xd6\xd0",          // a double-byte character
        "\x81\x40",          // double-byte with a trail byte in the ASCII range
        "\x81\x30\x81\x30",  // four bytes, one unit (U+0080)
        "\x95\x32\x82\x36",  // four bytes, a surrogate pair (U+20000)
        "\x80",
        "\xff",          // single high bytes
        "\xa1\x20",      // a lead byte without a trail: replaced, then a space
        "\x81\x30\x20",  // a broken four-byte start
    };
    std::string out(ascii_prefix, 'p');
    unsigned state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        out += kPieces[(state >> 16) % std::size(kPieces)];
    }
    // A lead byte at the very end.
    out += "\xd6";
    return out;
}

TEST(RegexObject, PositionsInALongSubjectAreThoseOfEveryCharacter) {
    for (std::size_t prefix = 0; prefix < 4; ++prefix) {
        const std::string subject =
            MixedSubject(150'000, 7 + static_cast<unsigned>(prefix), prefix);
        // The whole subject decoded at once says where every character starts.
        std::u16string units;
        std::vector<std::uint32_t> offsets;
        DecodeAnsi(subject, units, &offsets);
        std::vector<std::size_t> starts;
        for (std::size_t k = 0; k < units.size(); ++k)
            if (k == 0 || offsets[k] != offsets[k - 1]) starts.push_back(offsets[k]);
        starts.push_back(subject.size());

        // Small enough that the subject is cut into slices and stretches.
        RegexObject::Limits limits;
        limits.offset_table_bytes = 0;
        RegexObject by_copy(limits);
        RegexObject by_move(limits);
        const Text text(subject);
        ASSERT_TRUE(by_copy.Create("([\\s\\S])", text));
        ASSERT_TRUE(by_move.Create("([\\s\\S])", Text(subject)));
        for (const RegexObject* rx : {&by_copy, &by_move}) {
            ASSERT_EQ(static_cast<std::size_t>(rx->MatchCount()), starts.size() - 1);
            for (int i = 1; i <= rx->MatchCount(); ++i) {
                const std::size_t at = starts[static_cast<std::size_t>(i) - 1];
                const Text expected(subject.substr(at, starts[static_cast<std::size_t>(i)] - at));
                int position = -1;
                int group_position = -1;
                ASSERT_EQ(rx->MatchText(i, &position), expected) << "match " << i;
                ASSERT_EQ(position, static_cast<int>(at)) << "match " << i;
                ASSERT_EQ(rx->SubmatchText(i, 1, &group_position), expected) << "match " << i;
                ASSERT_EQ(group_position, static_cast<int>(at)) << "match " << i;
            }
        }
    }
}

TEST(RegexObject, LongMatchesAndGroupsSpanTheirWholeText) {
    // Matches far longer than any stretch of the subject, with groups ending far inside them.
    const std::string subject = MixedSubject(300'000, 3, 1);
    const Text text(subject);
    RegexObject::Limits limits;
    limits.offset_table_bytes = 0;
    RegexObject rx(limits);
    ASSERT_TRUE(rx.Create("([\\s\\S]{30000})[\\s\\S]{40000}", text));
    std::u16string units;
    std::vector<std::uint32_t> offsets;
    DecodeAnsi(subject, units, &offsets);
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k < units.size(); ++k)
        if (k == 0 || offsets[k] != offsets[k - 1]) starts.push_back(offsets[k]);
    starts.push_back(subject.size());
    const int count = static_cast<int>((starts.size() - 1) / 70000);
    ASSERT_EQ(rx.MatchCount(), count);
    for (int i = 1; i <= count; ++i) {
        const std::size_t first = static_cast<std::size_t>(i - 1) * 70000;
        const std::size_t b = starts[first];
        int position = -1;
        EXPECT_EQ(rx.MatchText(i, &position), Text(subject.substr(b, starts[first + 70000] - b)));
        EXPECT_EQ(position, static_cast<int>(b));
        EXPECT_EQ(rx.SubmatchText(i, 1, &position),
                  Text(subject.substr(b, starts[first + 30000] - b)));
        EXPECT_EQ(position, static_cast<int>(b));
    }
}

}  // namespace
}  // namespace qelvanto
