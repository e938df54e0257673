#include "text/text.h"

#include <gtest/gtest.h>

#include "support/print_text.h"

#include <climits>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

namespace qelvanto {

namespace {

Text T(std::string_view s) { return Text(s); }

// ---- FindText ----

struct FindCase {
    const char* name;
    std::string subject;
    std::string needle;
    std::optional<int> start;
    bool ignore_case;
    int expected;
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindTextCases : public testing::TestWithParam<FindCase> {};

TEST_P(FindTextCases, GivesPositionOfFirstMatchAtCharacterStart) {
    const FindCase& c = GetParam();
    EXPECT_EQ(FindText(T(c.subject), T(c.needle), c.start, c.ignore_case), c.expected);
}

const std::string kLongAscii(1000, 'x');

INSTANTIATE_TEST_SUITE_P(
    FindText, FindTextCases,
    testing::Values(
        FindCase{"EmptyNeedleOmittedStart", "abc", "", std::nullopt, false, 1},
        FindCase{"EmptyNeedleLaterStartStillOne", "abc", "", 2, false, 1},
        FindCase{"EmptyNeedlePastEnd", "abc", "", 5, false, -1},
        FindCase{"EmptyNeedleStartJustPastEnd", "abc", "", 4, false, -1},
        FindCase{"EmptyNeedleEmptySubject", "", "", std::nullopt, false, -1},
        FindCase{"EmptySubject", "", "a", std::nullopt, false, -1},
        FindCase{"StartZeroIsFirstByte", "abc", "a", 0, false, 1},
        FindCase{"NegativeStartIsFirstByte", "abc", "a", -3, false, 1},
        FindCase{"IntMinStartIsFirstByte", "abc", "a", INT_MIN, false, 1},
        FindCase{"IntMaxStartFindsNothing", "abc", "a", INT_MAX, false, -1},
        FindCase{"FromStartThree", "aXbX", "X", 3, false, 4},
        FindCase{"IgnoreCaseFolds", "aBc", "b", std::nullopt, true, 2},
        FindCase{"CaseSensitiveDoesNotFold", "aBc", "b", std::nullopt, false, -1},
        FindCase{"NeedleLongerThanRest", "abc", "bcd", std::nullopt, false, -1},
        FindCase{"NeedleAtVeryEnd", "abcdef", "ef", std::nullopt, false, 5},
        FindCase{"NeverAtSecondByte", "\xc4\x41\x41\x42", "A", std::nullopt, false, 3},
        FindCase{"NeverAtSecondByteIgnoringCase", "\xc4\x61\x41\x42", "a", std::nullopt, true, 3},
        FindCase{"SecondByteOnlyIsNotFound", "\xc4\x41", "A", std::nullopt, false, -1},
        // 0xD6 0xD0 0xD6 0xD0 is two characters; 0xD0 0xD6 straddles them.
        FindCase{"StraddlingBytesNotFound", "\xd6\xd0\xd6\xd0", "\xd0\xd6", std::nullopt, false,
                 -1},
        FindCase{"TwoByteNeedleFound", "ab\xd6\xd0", "\xd6\xd0", std::nullopt, false, 3},
        // Starting on a second byte makes it a character start.
        FindCase{"StartOnSecondByteCountsFromThere", "\xc4\x41\x41", "A", 2, false, 2},
        FindCase{"TrailingLeadByteIsOwnCharacter", "ab\xc4", "\xc4", std::nullopt, false, 3},
        FindCase{"LetterFoldedInSecondByte", "\xc4\x41", "\xc4\x61", std::nullopt, true, 1},
        FindCase{"OnlyAsciiLettersFold", "\xe4", "\xc4", std::nullopt, true, -1},
        // The fast path tests 16 candidates at a time: a second byte deep in a long run.
        FindCase{"LongAsciiThenSecondByte", kLongAscii + "\xc4\x41\x41\x42", "A", std::nullopt,
                 false, 1003},
        FindCase{"LongAsciiThenSecondByteIgnoringCase", kLongAscii + "\xc4\x41\x41\x42", "ab",
                 std::nullopt, true, 1003},
        FindCase{"LongLeadRunEvenCountStartsCharacter",
                 std::string(2000, '\xd6') + "\xd0" + std::string(30, 'y'), "\xd0", std::nullopt,
                 false, 2001},
        FindCase{"LongLeadRunOddCountIsSecondByte",
                 std::string(2001, '\xd6') + "\xd0" + std::string(30, 'y'), "\xd0", std::nullopt,
                 false, -1},
        FindCase{"LongLeadRunMatchOnCharacterStart", std::string(2001, '\xd6') + "zz", "\xd6z",
                 std::nullopt, false, 2001},
        FindCase{"LongLeadRunMatchOnSecondByteOnly", std::string(2002, '\xd6') + "zz", "\xd6z",
                 std::nullopt, false, -1},
        FindCase{"ManyMissesBeforeMatch",
                 std::string(100, 'a') + "\xc4\x61\x62" + std::string(100, 'a') + "ab", "ab",
                 std::nullopt, false, 204}),
    [](const testing::TestParamInfo<FindCase>& info) { return std::string(info.param.name); });

// An independent, plainly written search to check the fast one against on many inputs.
int ReferenceFind(const std::string& s, const std::string& needle, int start, bool fold) {
    auto f = [&](unsigned char b) { return (b >= 'A' && b <= 'Z') ? b + 32 : b; };
    std::size_t i = start > 1 ? static_cast<std::size_t>(start) - 1 : 0;
    if (i >= s.size()) return -1;
    if (needle.empty()) return 1;
    for (; i + needle.size() <= s.size();) {
        bool ok = true;
        for (std::size_t k = 0; k < needle.size() && ok; ++k) {
            const auto a = static_cast<unsigned char>(s[i + k]);
            const auto b = static_cast<unsigned char>(needle[k]);
            ok = fold ? f(a) == f(b) : a == b;
        }
        if (ok) return static_cast<int>(i) + 1;
        i += static_cast<unsigned char>(s[i]) >= 0x80 ? 2 : 1;
    }
    return -1;
}

TEST(FindText, AgreesWithPlainScanOnGeneratedTexts) {
    // A small fixed alphabet of letters and lead bytes makes matches, straddles and second-byte
    // hits frequent.
    const char alphabet[] = {'a', 'A', 'b', '\xc4', '\xd6', '\x41', '\x61'};
    unsigned state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7fff;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string s(next() % 80, ' ');
        for (char& ch : s) ch = alphabet[next() % sizeof alphabet];
        std::string needle(1 + next() % 3, ' ');
        for (char& ch : needle) ch = alphabet[next() % sizeof alphabet];
        const int start = static_cast<int>(next() % 6) - 1;
        const bool fold = next() % 2 == 0;
        ASSERT_EQ(FindText(T(s), T(needle), start, fold), ReferenceFind(s, needle, start, fold))
            << "round " << round;
    }
}

// ---- Cutting ----

TEST(TextCutting, ClampsCountsAndStarts) {
    const Text abc("abc");
    const Text abcdef("abcdef");
    EXPECT_EQ(TextLeft(abc, 0), Text());
    EXPECT_EQ(TextLeft(abc, 9), abc);
    EXPECT_EQ(TextLeft(abc, INT_MIN), Text());
    EXPECT_EQ(TextLeft(abc, INT_MAX), abc);
    EXPECT_EQ(TextLeft(abc, 2), Text("ab"));
    EXPECT_EQ(TextRight(abc, -1), Text());
    EXPECT_EQ(TextRight(abc, 2), Text("bc"));
    EXPECT_EQ(TextRight(abc, INT_MAX), abc);
    EXPECT_EQ(TextMid(abcdef, 0, 2), Text());
    EXPECT_EQ(TextMid(abcdef, 5, 10), Text("ef"));
    EXPECT_EQ(TextMid(abcdef, 2, 3), Text("bcd"));
    EXPECT_EQ(TextMid(abc, 4, 1), Text());
    EXPECT_EQ(TextMid(abc, 3, 1), Text("c"));
    EXPECT_EQ(TextMid(abc, INT_MIN, INT_MAX), Text());
    EXPECT_EQ(TextMid(abc, INT_MAX, INT_MAX), Text());
    EXPECT_EQ(TextMid(abc, 1, INT_MAX), abc);
    EXPECT_EQ(TextMid(abc, 2, INT_MIN), Text());
    EXPECT_EQ(TextLength(Text()), 0);
    EXPECT_EQ(TextLength(Text(nullptr)), 0);
    EXPECT_EQ(TextLength(Text("\xd6\xd0")), 2);
}

// ---- CompareText ----

TEST(CompareText, OrdersByFirstDifferingUnsignedByte) {
    EXPECT_EQ(CompareText("ABC", "abc", false), 0);
    EXPECT_NE(CompareText("ABC", "abc"), 0);
    EXPECT_NE(CompareText("ABC", "abc", true), 0);
    EXPECT_EQ(CompareText(Text(nullptr), Text("")), 0);
    EXPECT_EQ(CompareText("a", "b"), -1);
    EXPECT_EQ(CompareText("b", "a"), 1);
    EXPECT_EQ(CompareText("ab", "abc"), -1);
    EXPECT_EQ(CompareText("abc", "ab"), 1);
    EXPECT_EQ(CompareText("\xd6", "a"), 1);       // bytes compare unsigned
    EXPECT_EQ(CompareText("[", "a", false), -1);  // '[' is not a letter, so 'A'..'Z' fold only
}

// ---- TrimText ----

struct TrimCase {
    const char* name;
    std::string in;
    std::string out;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << c.name; }

class TrimTextCases : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimTextCases, DropsSpacesAndFullWidthSpacesOnly) {
    EXPECT_EQ(TrimText(T(GetParam().in)), T(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(
    TrimText, TrimTextCases,
    testing::Values(TrimCase{"TabAndLineEndsAreNotBlanks", "\t a \r\n", "\t a \r\n"},
                    TrimCase{"SpacesBothSides", "  a b  ", "a b"},
                    // full-width space, 中, full-width space
                    TrimCase{"FullWidthSpaces", "\xa1\xa1\xd6\xd0\xa1\xa1", "\xd6\xd0"},
                    TrimCase{"OnlyBlanks", " \xa1\xa1 ", ""}, TrimCase{"Empty", "", ""},
                    // 0xA1 0xA1 straddling two characters is not a blank: 0xB0 0xA1 is one.
                    TrimCase{"StraddlingA1A1NotBlank", "\xb0\xa1\xa1\xb0 ", "\xb0\xa1\xa1\xb0"},
                    TrimCase{"SpaceAsSecondByteStays", "\xc4 ", "\xc4 "},
                    TrimCase{"TrailingLoneLeadByte", " a\xa1", "a\xa1"},
                    TrimCase{"LoneA1NotBlank", "\xa1", "\xa1"}),
    [](const testing::TestParamInfo<TrimCase>& info) { return std::string(info.param.name); });

// ---- ReplaceSubtext ----

struct ReplaceCase {
    const char* name;
    std::string text;
    std::string find;
    std::optional<std::string> replacement;
    std::optional<int> start;
    std::optional<int> count;
    bool case_sensitive;
    std::string expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }

class ReplaceSubtextCases : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceSubtextCases, ReplacesOccurrencesAtCharacterStarts) {
    const ReplaceCase& c = GetParam();
    std::optional<Text> with;
    if (c.replacement) with = T(*c.replacement);
    EXPECT_EQ(ReplaceSubtext(T(c.text), T(c.find), with, c.start, c.count, c.case_sensitive),
              T(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    ReplaceSubtext, ReplaceSubtextCases,
    testing::Values(
        ReplaceCase{"CountOne", "aXbXc", "X", "12", std::nullopt, 1, true, "a12bXc"},
        ReplaceCase{"CountOmittedMeansAll", "aXbXc", "X", "12", std::nullopt, std::nullopt, true,
                    "a12b12c"},
        ReplaceCase{"NegativeCountMeansAll", "aXbXc", "X", "12", std::nullopt, -1, true, "a12b12c"},
        ReplaceCase{"IntMinCountMeansAll", "aXbXc", "X", "", std::nullopt, INT_MIN, true, "abc"},
        ReplaceCase{"CountZeroMeansNone", "aXbXc", "X", "12", std::nullopt, 0, true, "aXbXc"},
        ReplaceCase{"FromStartThree", "aXbXc", "X", "12", 3, std::nullopt, true, "aXb12c"},
        ReplaceCase{"StartPastEnd", "aXbXc", "X", "12", 6, std::nullopt, true, "aXbXc"},
        ReplaceCase{"IntMaxStart", "aXbXc", "X", "12", INT_MAX, std::nullopt, true, "aXbXc"},
        ReplaceCase{"IntMinStart", "aXbXc", "X", "1", INT_MIN, std::nullopt, true, "a1b1c"},
        ReplaceCase{"EmptyFindUnchanged", "aXbXc", "", "12", std::nullopt, std::nullopt, true,
                    "aXbXc"},
        ReplaceCase{"OmittedReplacementRemoves", "aXbXc", "X", std::nullopt, std::nullopt,
                    std::nullopt, true, "abc"},
        ReplaceCase{"IgnoringCase", "axbXc", "X", "-", std::nullopt, std::nullopt, false, "a-b-c"},
        ReplaceCase{"CaseSensitiveKeepsOtherCase", "axbXc", "X", "-", std::nullopt, std::nullopt,
                    true, "axb-c"},
        ReplaceCase{"NoOverlap", "aaaa", "aa", "b", std::nullopt, std::nullopt, true, "bb"},
        ReplaceCase{"ReplacementNotRescanned", "ab", "a", "aa", std::nullopt, std::nullopt, true,
                    "aab"},
        ReplaceCase{"NotAtSecondByte", "\xc4X X", "X", "_", std::nullopt, std::nullopt, true,
                    "\xc4X _"},
        // After a match the scan counts characters afresh from the byte behind it.
        ReplaceCase{"CharactersCountedAfterMatch", "\xc4\xc4\x41", "\xc4", "-", std::nullopt,
                    std::nullopt, true, "--\x41"},
        ReplaceCase{"SchemeEverywhere", "http://a/?u=http://b", "http://", std::nullopt,
                    std::nullopt, std::nullopt, true, "a/?u=b"},
        ReplaceCase{"EmptyText", "", "X", "1", std::nullopt, std::nullopt, true, ""}),
    [](const testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

// ---- ReplaceRange ----

TEST(ReplaceRange, RemovesClampedRangeAndInsertsReplacement) {
    EXPECT_EQ(ReplaceRange("Set-Cookie: a=b", 1, 12), Text("a=b"));
    EXPECT_EQ(ReplaceRange("abc", 0, 1), Text("bc"));
    EXPECT_EQ(ReplaceRange("abc", 7, 2), Text("abc"));
    EXPECT_EQ(ReplaceRange("abc", 7, 2, Text("Z")), Text("abcZ"));
    EXPECT_EQ(ReplaceRange("abc", 2, 1, Text("XY")), Text("aXYc"));
    EXPECT_EQ(ReplaceRange("abc", 2, 0, Text("XY")), Text("aXYbc"));
    EXPECT_EQ(ReplaceRange("abc", 2, -5), Text("abc"));
    EXPECT_EQ(ReplaceRange("abc", 2, INT_MAX), Text("a"));
    EXPECT_EQ(ReplaceRange("abc", INT_MIN, INT_MAX, Text("z")), Text("z"));
    EXPECT_EQ(ReplaceRange("abc", INT_MAX, INT_MAX), Text("abc"));
    EXPECT_EQ(ReplaceRange("", 1, 1, Text("q")), Text("q"));
}

// ---- Small builders ----

TEST(ToLowerText, LowersOnlyOneByteLetters) {
    EXPECT_EQ(ToLowerText("AbC-Z"), Text("abc-z"));
    EXPECT_EQ(ToLowerText("\xc4\x41\x41"), Text("\xc4\x41\x61"));  // second byte 'A' stays
    EXPECT_EQ(ToLowerText("A\xc4"), Text("a\xc4"));                // trailing lead byte
    EXPECT_EQ(ToLowerText(""), Text());
}

TEST(TextBuilders, ConcatBlankAndCharFromCode) {
    EXPECT_EQ(ConcatText(Text("a"), Text(nullptr), Text("b")), Text("ab"));
    EXPECT_EQ(ConcatText(Text("a")), Text("a"));
    EXPECT_EQ(BlankText(3), Text("   "));
    EXPECT_EQ(BlankText(0), Text());
    EXPECT_EQ(BlankText(INT_MIN), Text());
    EXPECT_EQ(CharFromCode(0), Text());
    EXPECT_EQ(CharFromCode(65), Text("A"));
    EXPECT_EQ(CharFromCode(255), Text("\xff"));
    EXPECT_EQ(CharFromCode(256), Text());
    EXPECT_EQ(CharFromCode(-1), Text());
}

// ---- Numbers ----

struct IntCase {
    std::string text;
    std::int32_t value;
};

TEST(TextToInt, ReadsSignAndDigitsWithWrapAround) {
    const IntCase cases[] = {
        {" -12abc", -12},
        {"", 0},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"1e3", 1},
        {"0x1F", 0},
        {"2147483648", INT_MIN},
        {"-2147483648", INT_MIN},
        {"2147483647", INT_MAX},
        {"4294967297", 1},
        {"99999999999999999999999", -159383553},  // wrapped modulo 2^32
        {"\t\n\v\f\r 5", 5},
        {"--5", 0},
        {"+-5", 0},
        {"-", 0},
        {"\xa3\xb5\xa3\xb0", 50},          // full-width 5 0
        {"\xa1\xa1\xa3\xad\xa3\xb3", -3},  // full-width space, full-width '-', full-width 3
        {"\xa3", 0},                       // lone lead byte at the end
        {"\xc4\x35", 0},                   // a digit as second byte is no digit
        {"7\xa3", 7},
    };
    for (const IntCase& c : cases) EXPECT_EQ(TextToInt(T(c.text)), c.value) << c.text;
}

struct NumberCase {
    std::string text;
    double value;
};

TEST(TextToNumber, ReadsDecimalPrefixWithEOrDExponent) {
    const NumberCase cases[] = {
        {"80", 80},
        {"1.5e3", 1500},
        {"2d2", 200},
        {"2D-1", 0.2},
        {" -2.5x", -2.5},
        {"+.5", 0.5},
        {"5.", 5},
        {".", 0},
        {"", 0},
        {"abc", 0},
        {"1e", 1},
        {"1e+", 1},
        {"1e+2", 100},
        {"0x10", 0},
        {"inf", 0},
        {"nan", 0},
        {"1e-400", 0},
        {"\xa3\xb1\xa3\xae\xa3\xb5", 1.5},  // full-width 1 . 5
        {"12\xd6\xd0", 12},
    };
    for (const NumberCase& c : cases) EXPECT_DOUBLE_EQ(TextToNumber(T(c.text)), c.value) << c.text;
    EXPECT_TRUE(std::isinf(TextToNumber("1e400")));
    EXPECT_TRUE(std::isinf(TextToNumber("-1e99999999999999999999")));
    EXPECT_EQ(TextToNumber("0e99999999"), 0.0);
    EXPECT_EQ(TextToNumber(Text(std::string(400, '9'))), HUGE_VAL);
}

TEST(NumberToText, WritesIntegersBooleansAndThirteenDigits) {
    EXPECT_EQ(NumberToText(std::int32_t{-7}), Text("-7"));
    EXPECT_EQ(NumberToText(std::int32_t{0}), Text("0"));
    EXPECT_EQ(NumberToText(std::int32_t{INT_MIN}), Text("-2147483648"));
    EXPECT_EQ(NumberToText(true), Text("\xd5\xe6"));   // 真
    EXPECT_EQ(NumberToText(false), Text("\xbc\xd9"));  // 假
    EXPECT_EQ(NumberToText(1.0), Text("1"));
    EXPECT_EQ(NumberToText(3.0), Text("3"));
    EXPECT_EQ(NumberToText(2.5), Text("2.5"));
    EXPECT_EQ(NumberToText(0.1), Text("0.1"));
    EXPECT_EQ(NumberToText(-0.5), Text("-0.5"));
    EXPECT_EQ(NumberToText(1234567890123.0), Text("1234567890123"));
    EXPECT_EQ(NumberToText(12345678901234.0), Text("1.234567890123e+13"));
    EXPECT_EQ(NumberToText(0.0001), Text("0.0001"));
    EXPECT_EQ(NumberToText(0.00001), Text("1e-05"));
    EXPECT_EQ(NumberToText(1.0 / 3.0), Text("0.3333333333333"));
    EXPECT_EQ(NumberToText(HUGE_VAL), Text("inf"));
}

TEST(ToHexText, WritesUnsignedUpperCaseWithoutLeadingZeros) {
    EXPECT_EQ(ToHexText(10), Text("A"));
    EXPECT_EQ(ToHexText(255), Text("FF"));
    EXPECT_EQ(ToHexText(0), Text("0"));
    EXPECT_EQ(ToHexText(-1), Text("FFFFFFFF"));
    EXPECT_EQ(ToHexText(INT_MIN), Text("80000000"));
}

// ---- Bytes ----

TEST(BytesConversions, StopAtZeroAndClampCounts) {
    const Bytes with_zero(std::string_view("ab\0c", 4));
    EXPECT_EQ(BytesToText(with_zero), Text("ab"));
    EXPECT_EQ(BytesToText(Bytes()), Text());
    EXPECT_EQ(BytesLength(TextToBytes(Text())), 0);
    EXPECT_EQ(TextToBytes("\xd6\xd0"), Bytes(std::string_view("\xd6\xd0")));
    EXPECT_EQ(BytesLength(with_zero), 4);
    const Bytes three(std::string_view("abc"));
    EXPECT_EQ(BytesLeft(three, -1), Bytes());
    EXPECT_EQ(BytesLeft(three, INT_MIN), Bytes());
    EXPECT_EQ(BytesLeft(three, 9), three);
    EXPECT_EQ(BytesLeft(with_zero, 3), Bytes(std::string_view("ab\0", 3)));
    EXPECT_EQ(BlankBytes(0), Bytes());
    EXPECT_EQ(BlankBytes(INT_MIN), Bytes());
    EXPECT_EQ(BlankBytes(2), Bytes(std::string_view("\0\0", 2)));
    EXPECT_EQ(ConcatBytes(Bytes(), Bytes()), Bytes());
    EXPECT_EQ(ConcatBytes(with_zero, Bytes(), three).size(), 7u);
}

// ---- Clock ----

constexpr double kSecond = 1.0 / 86400.0;

struct TimeCase {
    const char* name;
    double days;
    int hour, minute, second;
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.name; }

class TimeOfDayCases : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeOfDayCases, ReadsTimeRoundedToNearestSecond) {
    const TimeCase& c = GetParam();
    const DateTime t{c.days};
    EXPECT_EQ(HourOf(t), c.hour);
    EXPECT_EQ(MinuteOf(t), c.minute);
    EXPECT_EQ(SecondOf(t), c.second);
}

INSTANTIATE_TEST_SUITE_P(
    HourMinuteSecond, TimeOfDayCases,
    testing::Values(
        TimeCase{"Midnight", 45000.0, 0, 0, 0},
        TimeCase{"NineFiveThree", 45000.0 + (9 * 3600 + 5 * 60 + 3) * kSecond, 9, 5, 3},
        TimeCase{"JustBeforeMidnightRoundsUp", 45000.0 + 86399.6 * kSecond, 0, 0, 0},
        TimeCase{"JustBelowHalfSecondRoundsDown", 45000.0 + 86399.4 * kSecond, 23, 59, 59},
        // Before the base date the fraction still counts the time of day.
        TimeCase{"NegativeDateUsesAbsoluteFraction", -1.0 - (6 * 3600) * kSecond, 6, 0, 0},
        TimeCase{"ZeroValue", 0.0, 0, 0, 0}, TimeCase{"FarPastIsClamped", -1e300, 0, 0, 0},
        TimeCase{"FarFutureIsClamped", 1e300, 0, 0, 0},
        TimeCase{"InfinityIsClamped", HUGE_VAL, 0, 0, 0},
        TimeCase{"NotANumberReadsAsZero", std::nan(""), 0, 0, 0}),
    [](const testing::TestParamInfo<TimeCase>& info) { return std::string(info.param.name); });

TEST(Now, IsWholeSecondsOfLocalTimeInTheValidRange) {
    const DateTime now = Now();
    EXPECT_GT(now.days, 43000.0);  // after 2017
    EXPECT_LT(now.days, 2958465.0);
    const double seconds = (now.days - std::floor(now.days)) * 86400.0;
    EXPECT_NEAR(seconds, std::round(seconds), 1e-3);
    EXPECT_GE(HourOf(now), 0);
    EXPECT_LE(HourOf(now), 23);
}

TEST(UptimeMs, MovesForward) {
    const std::int32_t a = UptimeMs();
    const std::int32_t b = UptimeMs();
    // Read as a wrapping counter, the difference is small and not negative.
    const auto diff = static_cast<std::uint32_t>(b) - static_cast<std::uint32_t>(a);
    EXPECT_LT(diff, 60'000u);
}

// ---- Per-thread hooks ----

TEST(ProcessEvents, RunsOnlyTheCallingThreadsHook) {
    int calls = 0;
    SetProcessEventsHook([&] { ++calls; });
    ProcessEvents();
    std::thread other([] { ProcessEvents(); });  // has no hook: does nothing
    other.join();
    EXPECT_EQ(calls, 1);
    SetProcessEventsHook(nullptr);
    ProcessEvents();
    EXPECT_EQ(calls, 1);
}

TEST(WorkCancelled, IsFalseWithoutHookAndPerThread) {
    EXPECT_FALSE(WorkCancelled());
    SetWorkCancelledHook([] { return true; });
    EXPECT_TRUE(WorkCancelled());
    bool other_answer = true;
    std::thread other([&] { other_answer = WorkCancelled(); });
    other.join();
    EXPECT_FALSE(other_answer);
    SetWorkCancelledHook(nullptr);
    EXPECT_FALSE(WorkCancelled());
}

}  // namespace
}  // namespace qelvanto
