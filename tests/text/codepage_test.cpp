#include "text/codepage.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include "text/text.h"

namespace qelvanto {
namespace {

// ICU's own converters serve as the reference the conversions must agree with.
struct IcuCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using IcuPtr = std::unique_ptr<UConverter, IcuCloser>;

IcuPtr OpenStrict(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    IcuPtr converter(ucnv_open(name, &error));
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &error);
    EXPECT_TRUE(U_SUCCESS(error)) << name;
    return converter;
}

// Empty when the converter cannot encode the units.
std::string IcuEncode(UConverter* converter, std::u16string_view units) {
    std::string out(units.size() * 4 + 8, '\0');
    UErrorCode error = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t n = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                      units.data(), static_cast<int32_t>(units.size()), &error);
    if (U_FAILURE(error)) return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::u16string IcuDecode(UConverter* converter, std::string_view bytes) {
    std::u16string out(bytes.size() * 2 + 8, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t n = ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                    bytes.data(), static_cast<int32_t>(bytes.size()), &error);
    if (U_FAILURE(error)) return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Utf8Of(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

std::u16string Utf16Of(char32_t cp) {
    if (cp < 0x10000) return std::u16string(1, static_cast<char16_t>(cp));
    return {static_cast<char16_t>(0xD7C0 + (cp >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
}

bool IsScalar(char32_t cp) { return cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF); }

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        out += ' ';
    }
    return out;
}

const std::string kReplacementUtf8 = "\xEF\xBF\xBD";
const std::string kReplacement936 = "\x84\x31\xA4\x37";  // U+FFFD as GB18030 four bytes
const std::string kGrinning936 = "\x94\x39\xFC\x36";     // U+1F600

// ---------------------------------------------------------------------------------------------
// UTF-8 <-> code page 936

struct Pair936 {
    const char* what;
    std::string utf8;
    std::string ansi;
};

TEST(Utf8ToAnsi, ConvertsKnownCharactersBothWays) {
    const std::vector<Pair936> cases = {
        {"ascii unchanged", "hello, {\"a\":1} ~_+@", "hello, {\"a\":1} ~_+@"},
        {"zhong wen", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
        {"mixed", "a\xE4\xB8\xAD" "b", "a\xD6\xD0" "b"},
        {"euro is Windows' single byte 0x80", "\xE2\x82\xAC", "\x80"},
        {"0xFF is Windows' private-use U+F8F5", "\xEF\xA3\xB5", "\xFF"},
        {"emoji as four bytes", "\xF0\x9F\x98\x80", kGrinning936},
        {"last scalar", "\xF4\x8F\xBF\xBF", "\xE3\x32\x9A\x35"},
        {"U+0080 is the first four-byte code", "\xC2\x80", "\x81\x30\x81\x30"},
        {"replacement character", kReplacementUtf8, kReplacement936},
        {"private use at a GBK code keeps it", "\xEE\x9F\x87", "\xA8\xBC"},
        // GB18030 gives U+1E3F the code A8BC, which Windows' table gives U+E7C7; U+1E3F takes
        // the four-byte code that U+E7C7 leaves free.
        {"U+1E3F takes the freed four-byte code", "\xE1\xB8\xBF", "\x81\x35\xF4\x37"},
        {"hyphenation point, absent from GBK", "\xE2\x80\xA7", "\x81\x36\xA6\x34"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Utf8ToAnsi(Text(c.utf8)).str()), Hex(c.ansi)) << c.what;
        EXPECT_EQ(Hex(AnsiToUtf8(Text(c.ansi)).str()), Hex(c.utf8)) << c.what;
    }
    EXPECT_EQ(Utf8ToAnsi(Text()), Text());
    EXPECT_EQ(AnsiToUtf8(Text()), Text());
}

TEST(Utf8ToAnsi, ReplacesIllFormedUtf8WithTheReplacementCharacter) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xFF", kReplacement936},
        {"a\xE4\xB8", "a" + kReplacement936},                       // cut short at the end
        {"\xE4\xB8" "a", kReplacement936 + "a"},                    // cut short before ASCII
        {"\xC0\x80", kReplacement936 + kReplacement936},            // overlong NUL
        {"\xED\xA0\x80", kReplacement936 + kReplacement936 + kReplacement936},  // surrogate
        {"\xF4\x90\x80\x80", std::string() + kReplacement936 + kReplacement936 +
                                 kReplacement936 + kReplacement936},  // past U+10FFFF
        {"\x80\x80", kReplacement936 + kReplacement936},
    };
    for (const auto& [utf8, ansi] : cases) {
        EXPECT_EQ(Hex(Utf8ToAnsi(Text(utf8)).str()), Hex(ansi)) << Hex(utf8);
    }
}

TEST(AnsiToUtf8, ReplacesBytesThatFormNoCharacter) {
    const std::string r = kReplacementUtf8;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xD6", r},                           // lead byte at the end
        {"ab\xD6", "ab" + r},
        {"\xD6\x20", r + " "},                 // a space cannot follow a lead byte
        {"\xD6\x7F", r + "\x7F"},
        {"\xD6\xFF", r + "\xEF\xA3\xB5"},     // 0xFF then reads as its own character
        {"\x81\x30\x41", r + "0A"},            // four-byte start without its second half
        {"\x81\x30\x81", r + "0" + r},
        {"\x85\x30\x81\x30", r},               // well-formed but unassigned
        {"\xE3\x32\x9A\x36", r},               // one past U+10FFFF
        {"\xFE\x39\xFE\x39", r},
    };
    for (const auto& [ansi, utf8] : cases) {
        EXPECT_EQ(Hex(AnsiToUtf8(Text(ansi)).str()), Hex(utf8)) << Hex(ansi);
    }
}

// The decoder must agree with ICU's UTF-8 converter, substitutions included.
TEST(CodePageToUtf16, DecodesArbitraryBytesAsUtf8LikeIcu) {
    const IcuPtr utf8 = OpenStrict("UTF-8");
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(utf8.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                        &error);
    std::mt19937 random(7);
    const std::string alphabet =
        "a\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xEC\xED\xEE\xEF\xF0\xF1\xF3\xF4"
        "\xF5\xFF";
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        const int length = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < length; ++i) bytes += alphabet[random() % alphabet.size()];
        const std::u16string expected = IcuDecode(utf8.get(), bytes) + u'\0';
        const Bytes got = CodePageToUtf16(Text(bytes));
        ASSERT_EQ(got.view(), std::string_view(reinterpret_cast<const char*>(expected.data()),
                                               expected.size() * 2))
            << Hex(bytes);
    }
}

// Every scalar value travels UTF-8 -> 936 -> UTF-8 unchanged, and its 936 form reads as one
// character under the two-byte rule of Text (a 4-byte form as two such pairs). The euro sign and
// U+F8F5 keep Windows' single bytes 0x80 and 0xFF.
TEST(Utf8ToAnsi, RoundTripsEveryScalarValue) {
    std::string all_utf8;
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (!IsScalar(cp)) continue;
        const std::string utf8 = Utf8Of(cp);
        all_utf8 += utf8;
        const Text ansi = Utf8ToAnsi(Text(utf8));
        const std::size_t n = ansi.size();
        bool scans_whole;
        if (cp == 0x20AC || cp == 0xF8F5) {
            scans_whole = n == 1;
        } else if (ansi[0] < 0x80) {
            scans_whole = n == 1;
        } else {
            scans_whole = n == 2 || (n == 4 && ansi[2] >= 0x80);
        }
        ASSERT_TRUE(scans_whole) << std::hex << static_cast<std::uint32_t>(cp) << ": "
                                 << Hex(ansi.str());
        ASSERT_EQ(AnsiToUtf8(ansi).str(), utf8) << std::hex << static_cast<std::uint32_t>(cp);
    }
    // All at once, so each character also reads correctly after every other kind.
    EXPECT_TRUE(AnsiToUtf8(Utf8ToAnsi(Text(all_utf8))).str() == all_utf8);
}

// The GBK part is Windows' table exactly (ICU's windows-936), and everything beyond it is
// GB18030 (ICU's gb18030), except that the characters GB18030 puts at a two-byte code Windows
// uses otherwise take the four-byte code of the character Windows has there.
TEST(Utf8ToAnsi, MatchesWindowsTableAndGb18030) {
    const IcuPtr windows = OpenStrict("windows-936");
    const IcuPtr gb18030 = OpenStrict("gb18030");

    // Decoding every byte pair.
    std::string pairs;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            pairs += static_cast<char>(lead);
            pairs += static_cast<char>(trail);
        }
    }
    std::u16string decoded;
    DecodeAnsi(pairs, decoded);
    EXPECT_TRUE(decoded == IcuDecode(windows.get(), pairs));

    // Encoding every BMP character, and decoding every four-byte code of the BMP.
    int moved = 0;
    for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
        if (!IsScalar(cp)) continue;
        const std::u16string unit = Utf16Of(cp);
        const std::string ours = Utf8ToAnsi(Text(Utf8Of(cp))).str();
        std::string expected = IcuEncode(windows.get(), unit);
        if (expected.empty()) {
            expected = IcuEncode(gb18030.get(), unit);
            if (expected.size() == 2) {
                const std::u16string holder = IcuDecode(windows.get(), expected);
                ASSERT_EQ(holder.size(), 1u);
                expected = IcuEncode(gb18030.get(), holder);
                ++moved;
            }
            ASSERT_EQ(expected.size(), 4u);
        }
        ASSERT_EQ(Hex(ours), Hex(expected)) << std::hex << static_cast<std::uint32_t>(cp);
    }
    EXPECT_GT(moved, 0);
    for (std::uint32_t number = 0; number < 39420; ++number) {
        const std::string code = {static_cast<char>(0x81 + number / 12600),
                                  static_cast<char>(0x30 + number / 1260 % 10),
                                  static_cast<char>(0x81 + number / 10 % 126),
                                  static_cast<char>(0x30 + number % 10)};
        std::u16string ours;
        DecodeAnsi(code, ours);
        const std::u16string icu = IcuDecode(gb18030.get(), code);
        ASSERT_EQ(icu.size(), 1u);
        // A code taken over by a moved character decodes as that character.
        if (ours != icu) {
            ASSERT_EQ(ours.size(), 1u);
            EXPECT_EQ(IcuEncode(windows.get(), icu), IcuEncode(gb18030.get(), ours))
                << Hex(code);
        }
    }

    // All supplementary characters at once.
    std::u16string supplementary;
    for (char32_t cp = 0x10000; cp <= 0x10FFFF; ++cp) supplementary += Utf16Of(cp);
    const std::string icu_form = IcuEncode(gb18030.get(), supplementary);
    Bytes units(std::string(reinterpret_cast<const char*>(supplementary.data()),
                            supplementary.size() * 2));
    EXPECT_TRUE(Utf16ToCodePage(units, kCodePageGbk).str() == icu_form);
    std::u16string back;
    DecodeAnsi(icu_form, back);
    EXPECT_TRUE(back == supplementary);
}

// The character-aware text functions take a byte of 0x80 or above with the next byte as one
// character; a four-byte sequence is two such pairs, so ASCII inside one is never matched.
TEST(Utf8ToAnsi, FourByteSequencesNeverMatchInsideTextFunctions) {
    // U+0080 (81 30 81 30), an emoji (94 39 FC 36) and U+FFFD (84 31 A4 37).
    const Text four = Utf8ToAnsi(Text("\xC2\x80\xF0\x9F\x98\x80\xEF\xBF\xBD"));
    ASSERT_EQ(four.str(), "\x81\x30\x81\x30" + kGrinning936 + kReplacement936);
    for (const char* digit : {"0", "1", "4", "6", "7", "9"}) {
        EXPECT_EQ(FindText(four, Text(digit)), -1) << digit;
        EXPECT_EQ(FindText(four, Text(digit), std::nullopt, true), -1) << digit;
        EXPECT_EQ(FindText(ConcatText(four, Text(digit)), Text(digit)), 13) << digit;
        EXPECT_EQ(ReplaceSubtext(four, Text(digit), Text("#")), four) << digit;
        EXPECT_EQ(ReplaceSubtext(ConcatText(four, Text(digit)), Text(digit), Text("#")),
                  ConcatText(four, Text("#")))
            << digit;
    }
    const Text wide_space("\xA1\xA1");
    EXPECT_EQ(TrimText(ConcatText(wide_space, Text(" "), four, Text(" "), wide_space)), four);
}

// ---------------------------------------------------------------------------------------------
// DecodeAnsi

struct DecodeCase {
    const char* what;
    std::string ansi;
    std::u16string units;
    std::vector<std::uint32_t> offsets;
};

TEST(DecodeAnsi, MapsEveryUnitToTheStartOfItsCharacter) {
    const std::vector<DecodeCase> cases = {
        {"empty", "", u"", {0}},
        {"ascii", "ab", u"ab", {0, 1, 2}},
        {"double-byte", "a\xD6\xD0" "b", u"a\u4E2Db", {0, 1, 3, 4}},
        {"four-byte BMP", "\x81\x30\x81\x30z", u"\u0080z", {0, 4, 5}},
        {"surrogate pair", "x" + kGrinning936 + "y", u"x\U0001F600y", {0, 1, 1, 5, 6}},
        {"euro", "\x80z", u"\u20ACz", {0, 1, 2}},
        {"trailing lead byte", "ab\xD6", u"ab\uFFFD", {0, 1, 2, 3}},
        {"bad trail byte read anew", "\xD6\"x", u"\uFFFD\"x", {0, 1, 2, 3}},
        {"unassigned four-byte", "\x85\x30\x81\x30!", u"\uFFFD!", {0, 4, 5}},
        {"long ascii runs around", std::string(37, 'q') + "\xD6\xD0" + std::string(20, 'r'),
         std::u16string(37, u'q') + u"\u4E2D" + std::u16string(20, u'r'), {}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint32_t> expected = c.offsets;
        if (expected.empty()) {
            for (std::uint32_t i = 0; i <= 37; ++i) expected.push_back(i);
            for (std::uint32_t i = 0; i < 21; ++i) expected.push_back(39 + i);
        }
        std::u16string units = u"stale";
        std::vector<std::uint32_t> offsets = {9, 9, 9};
        DecodeAnsi(c.ansi, units, &offsets);
        EXPECT_TRUE(units == c.units) << c.what;
        EXPECT_EQ(offsets, expected) << c.what;
        std::u16string plain = u"stale";
        DecodeAnsi(c.ansi, plain);
        EXPECT_TRUE(plain == c.units) << c.what;
    }
}

// On a random mix of every kind of character, decoding from any character start gives the
// same units as the whole decoding from the matching unit on.
TEST(DecodeAnsi, OffsetsAgreeWithDecodingFromEachCharacter) {
    const std::vector<std::string> pieces = {
        "a", "\"", "0", "\xD6\xD0", "\x80", "\xA1\xA1", kGrinning936, "\x81\x30\x81\x30",
        "\xD6", "\xD6\x20", "\x85\x30\x81\x30", std::string(20, 'z')};
    std::mt19937 random(11);
    std::string ansi;
    for (int i = 0; i < 200; ++i) ansi += pieces[random() % pieces.size()];
    std::u16string units;
    std::vector<std::uint32_t> offsets;
    DecodeAnsi(ansi, units, &offsets);
    ASSERT_EQ(offsets.size(), units.size() + 1);
    EXPECT_EQ(offsets.back(), ansi.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        ASSERT_LE(offsets[i], offsets[i + 1]);
        if (i > 0 && offsets[i] == offsets[i - 1]) {
            EXPECT_TRUE(units[i] >= 0xDC00 && units[i] < 0xE000) << i;
            continue;
        }
        std::u16string tail;
        DecodeAnsi(std::string_view(ansi).substr(offsets[i]), tail);
        ASSERT_TRUE(tail == units.substr(i)) << i;
    }
}

// ---------------------------------------------------------------------------------------------
// CodePageToUtf16 / Utf16ToCodePage

TEST(CodePageToUtf16, GivesTwoBytesPerAsciiCharacterPlusTheTerminator) {
    for (const int n : {0, 1, 7, 16, 33, 1000}) {
        const Text text(std::string(static_cast<std::size_t>(n), 'k'));
        for (const std::optional<int> page :
             {std::optional<int>(), std::optional<int>(936), std::optional<int>(950),
              std::optional<int>(65001), std::optional<int>(1252)}) {
            const Bytes utf16 = CodePageToUtf16(text, page);
            ASSERT_EQ(utf16.size(), static_cast<std::size_t>(2 * n + 2)) << n;
            EXPECT_EQ(utf16.view().substr(utf16.size() - 2), std::string_view("\0\0", 2));
            if (n > 0) {
                EXPECT_EQ(utf16.view().substr(0, 2), std::string_view("k\0", 2));
            }
        }
    }
}

struct Utf16Case {
    const char* what;
    std::string text;
    std::optional<int> page;
    std::string units;  // UTF-16LE without the terminator
};

TEST(CodePageToUtf16, DecodesEachCodePageAndEncodesBack) {
    using namespace std::string_literals;
    const std::vector<Utf16Case> cases = {
        {"UTF-8 by default", "\xE4\xB8\xAD", std::nullopt, "\x2D\x4E"s},
        {"936", "\xD6\xD0" "a", 936, "\x2D\x4E" "a\0"s},
        {"936 euro", "\x80", 936, "\xAC\x20"s},
        {"936 four-byte emoji", kGrinning936, 936, "\x3D\xD8\x00\xDE"s},
        {"950", "\xA4\xA4", 950, "\x2D\x4E"s},
        {"65001 emoji", "\xF0\x9F\x98\x80", 65001, "\x3D\xD8\x00\xDE"s},
        {"1252 through ICU", "\x80", 1252, "\xAC\x20"s},
    };
    for (const auto& c : cases) {
        const Bytes utf16 = CodePageToUtf16(Text(c.text), c.page);
        EXPECT_EQ(Hex(utf16.str()), Hex(c.units + "\0\0"s)) << c.what;
        const std::optional<int> back = c.page ? c.page : std::optional<int>(65001);
        EXPECT_EQ(Hex(Utf16ToCodePage(utf16, back).str()), Hex(c.text)) << c.what;
    }
}

TEST(Utf16ToCodePage, TakesTheUnitsInFrontOfTheFirstZeroUnit) {
    using namespace std::string_literals;
    EXPECT_EQ(Utf16ToCodePage(Bytes("\x2D\x4E\0\0"s)), Text("\xD6\xD0"));  // 936 by default
    EXPECT_EQ(Utf16ToCodePage(Bytes("A\0\0\0B\0"s)), Text("A"));
    EXPECT_EQ(Utf16ToCodePage(Bytes("A\0B\0"s)), Text("AB"));   // no terminator
    EXPECT_EQ(Utf16ToCodePage(Bytes("A\0B"s)), Text("A"));      // odd last byte
    EXPECT_EQ(Utf16ToCodePage(Bytes()), Text());
    // A lone surrogate becomes U+FFFD.
    EXPECT_EQ(Utf16ToCodePage(Bytes("\x3D\xD8" "A\0"s)).str(), kReplacement936 + "A");
    EXPECT_EQ(Utf16ToCodePage(Bytes("\x00\xDE"s), 65001).str(), kReplacementUtf8);
}

TEST(CodePageToUtf16, UnknownCodePageGivesEmptyResults) {
    EXPECT_TRUE(CodePageToUtf16(Text("abc"), 12345).empty());
    EXPECT_TRUE(Utf16ToCodePage(CodePageToUtf16(Text("abc")), 12345).empty());
    EXPECT_TRUE(CodePageToUtf16(Text("abc"), -1).empty());
}

// ---------------------------------------------------------------------------------------------
// Big5 and simplification

struct Big5Case {
    const char* what;
    std::string big5;
    std::string ansi;        // Big5ToAnsi
    std::string simplified;  // Big5ToSimplified
};

TEST(Big5ToSimplified, GivesSimplifiedCharactersOfTheSameByteCount) {
    const std::vector<Big5Case> cases = {
        // zhong wen, the same in both scripts
        {"unchanged", "\xA4\xA4\xA4\xE5", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"},
        // wan yu shuo -> simplified
        {"traditional", "\xB8\x55\xBB\x50\xBB\xA1", "\xC8\x66\xC5\x63\xD5\x66",
         "\xCD\xF2\xD3\xEB\xCB\xB5"},
        // fa with ascii around it
        {"mixed", "x \xB5\x6F!", "x \xB0\x6C!", "x \xB7\xA2!"},
        // The phrase rule for zhu ming is not applied: character by character, zhu becomes zhe.
        {"no phrases", "\xB5\xDB\xA6\x57", "\xD6\xF8\xC3\xFB", "\xD7\xC5\xC3\xFB"},
        // The hyphenation point is absent from GBK and travels as GB18030 four bytes.
        {"kept beyond GBK", "\xA1\x45", "\x81\x36\xA6\x34", "\x81\x36\xA6\x34"},
        {"empty", "", "", ""},
    };
    for (const auto& c : cases) {
        const Text ansi = Big5ToAnsi(Text(c.big5));
        const Text simplified = Big5ToSimplified(Text(c.big5));
        EXPECT_EQ(Hex(ansi.str()), Hex(c.ansi)) << c.what;
        EXPECT_EQ(Hex(simplified.str()), Hex(c.simplified)) << c.what;
        EXPECT_EQ(simplified.size(), ansi.size()) << c.what;
    }
}

TEST(Big5ToAnsi, ReplacesInvalidBig5) {
    for (const std::string big5 : {"\xA4", "a\xA4", "\xA4\x20", "\xA4\x7F"}) {
        const std::string utf8 = AnsiToUtf8(Big5ToAnsi(Text(big5))).str();
        EXPECT_NE(utf8.find(kReplacementUtf8), std::string::npos) << Hex(big5);
    }
    EXPECT_EQ(AnsiToUtf8(Big5ToAnsi(Text("a\xA4"))).str(), "a" + kReplacementUtf8);
}

TEST(SimplifyChinese, MapsCharacterByCharacterKeepingTheLength) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"plain ascii", "plain ascii"},
        {"\xD6\xF8\xC3\xFB", "\xD7\xC5\xC3\xFB"},  // zhu ming: zhu -> zhe, ming stays
        {"\xD6\xF8\xBC\xB1", "\xD7\xC5\xBC\xB1"},  // zhu ji
        {"\xC7\xAC", "\xB8\xC9"},                  // qian -> gan
        // luo (83 AC) simplifies to a character with a four-byte code: left alone.
        {"\x83\xAC", "\x83\xAC"},
        // U+4DA7 (four bytes) simplifies to yao (two bytes): left alone.
        {"\x82\x35\x86\x35", "\x82\x35\x86\x35"},
        // Bytes that form no character stay as they are.
        {"\xD6", "\xD6"},
        {"\x81\x30" "a\xB0\x6C", "\x81\x30" "a\xB7\xA2"},
        {"\xB0\x6C\x80", "\xB7\xA2\x80"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(Hex(SimplifyChinese(Text(in)).str()), Hex(out)) << Hex(in);
    }
}

// Each thread keeps its own ICU converters; the shared tables are read-only.
TEST(Big5ToSimplified, GivesTheSameResultsOnSeveralThreadsAtOnce) {
    const Text big5("x \xB8\x55\xBB\x50\xBB\xA1 \xB5\x6F\xA1\x45");
    const Text utf8("\xE4\xB8\xAD\xF0\x9F\x98\x80 abc");
    const Text simplified = Big5ToSimplified(big5);
    const Text ansi = Utf8ToAnsi(utf8);
    const Bytes latin = CodePageToUtf16(Text("\x80\xE9"), 1252);
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 200; ++round) {
                if (Big5ToSimplified(big5) != simplified) ++mismatches[i];
                if (Utf8ToAnsi(utf8) != ansi || AnsiToUtf8(ansi) != utf8) ++mismatches[i];
                if (CodePageToUtf16(Text("\x80\xE9"), 1252) != latin) ++mismatches[i];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// ---------------------------------------------------------------------------------------------
// UrlEncodeUtf8

struct UrlCase {
    std::string text;
    std::optional<bool> keep_safe;
    std::string encoded;
};

TEST(UrlEncodeUtf8, EncodesUtf8BytesAsUpperCaseHex) {
    const std::vector<UrlCase> cases = {
        {"\xD6\xD0", std::nullopt, "%E4%B8%AD"},
        {"\xD6\xD0", true, "%E4%B8%AD"},
        {"abc", std::nullopt, "%61%62%63"},
        {"abc", false, "%61%62%63"},
        {" ", true, "%20"},
        {"\t", std::nullopt, "%09"},
        {"\n", true, "%0A"},
        {"", std::nullopt, ""},
        {"", true, ""},
        {",-./09AZaz", true, ",-./09AZaz"},
        {":+@_~", true, "%3A%2B%40%5F%7E"},
        {"[`{", true, "%5B%60%7B"},
        {"x\x7F", true, "x%7F"},
        {kGrinning936, true, "%F0%9F%98%80"},
        {"\x80", true, "%E2%82%AC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlEncodeUtf8(Text(c.text), c.keep_safe).str(), c.encoded) << Hex(c.text);
    }
}

TEST(UrlEncodeUtf8, HandsOverToPendingEventsAfterEveryByte) {
    int calls = 0;
    SetProcessEventsHook([&calls] { ++calls; });
    const Text encoded = UrlEncodeUtf8(Text("a\xD6\xD0"), true);
    SetProcessEventsHook(nullptr);
    EXPECT_EQ(encoded, Text("a%E4%B8%AD"));
    EXPECT_EQ(calls, 4);
}

}  // namespace
}  // namespace qelvanto
