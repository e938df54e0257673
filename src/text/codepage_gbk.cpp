#include "text/codepage_gbk.h"

#include <memory>
#include <string>
#include <vector>

#include <unicode/ucnv.h>

#include "text/icu_converter.h"

namespace qelvanto::codepage {
namespace {

using icu_support::ConverterPtr;
using icu_support::OpenConverter;

// A converter that stops at the first unmapped or invalid input, so that a failed lookup
// shows as an error and never as a substitute.
ConverterPtr OpenStrict(const char* name) {
    ConverterPtr converter = OpenConverter(name);
    if (converter) {
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &error);
        ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr,
                              nullptr, &error);
    }
    return converter;
}

// The single BMP unit that `bytes` decode to, or 0.
char16_t DecodeOne(UConverter* converter, const char* bytes, int length) {
    UChar out[4];
    UErrorCode error = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t n = ucnv_toUChars(converter, out, 4, bytes, length, &error);
    return U_SUCCESS(error) && n == 1 ? out[0] : 0;
}

std::string EncodeOne(UConverter* converter, char16_t unit) {
    char out[8];
    UErrorCode error = U_ZERO_ERROR;
    ucnv_reset(converter);
    const UChar in[1] = {unit};
    const int32_t n = ucnv_fromUChars(converter, out, 8, in, 1, &error);
    return U_SUCCESS(error) ? std::string(out, static_cast<std::size_t>(n)) : std::string();
}

std::uint32_t FourByteNumber(const std::string& b) {
    const auto u = [&](int i) { return static_cast<unsigned char>(b[static_cast<std::size_t>(i)]); };
    return ((u(0) - 0x81u) * 10u + (u(1) - 0x30u)) * 1260u + (u(2) - 0x81u) * 10u + (u(3) - 0x30u);
}

std::unique_ptr<GbkTables> BuildTables() {
    auto t = std::make_unique<GbkTables>();
    *t = GbkTables{};
    const ConverterPtr windows = OpenStrict("windows-936");
    const ConverterPtr gb18030 = OpenStrict("gb18030");
    if (!windows || !gb18030) return t;

    // Decoding: Windows' table for single bytes and byte pairs, GB18030 for four-byte
    // sequences.
    const char high[2] = {'\x80', '\xFF'};
    for (int i = 0; i < 2; ++i) t->high_single[i] = DecodeOne(windows.get(), &high[i], 1);
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            t->pair[(lead - 0x81) * 256 + trail] = DecodeOne(windows.get(), bytes, 2);
        }
    }
    for (std::uint32_t number = 0; number < kFourByteBmpCount; ++number) {
        const char bytes[4] = {static_cast<char>(0x81 + number / 12600),
                               static_cast<char>(0x30 + number / 1260 % 10),
                               static_cast<char>(0x81 + number / 10 % 126),
                               static_cast<char>(0x30 + number % 10)};
        t->four[number] = DecodeOne(gb18030.get(), bytes, 4);
    }

    for (std::size_t i = 0; i < std::size(t->pair); ++i) {
        if (t->pair[i] != 0) {
            Utf8Form& form = t->pair_utf8[i];
            form.length = static_cast<unsigned char>(EncodeUtf8(t->pair[i], form.bytes));
        }
    }

    // Encoding is the inverse: a unit that Windows' table has keeps its one- or two-byte code;
    // every other unit takes its GB18030 four-byte sequence.
    std::vector<bool> coded(0x10000, false);
    for (unsigned i = 0; i < 0x80; ++i) {
        t->code[i] = static_cast<std::uint16_t>(i);
        coded[i] = true;
    }
    for (std::uint32_t number = 0; number < kFourByteBmpCount; ++number) {
        if (const char16_t unit = t->four[number]) {
            t->four_index[unit] = static_cast<std::uint16_t>(number);
            coded[unit] = true;
        }
    }
    for (std::size_t i = 0; i < std::size(t->pair); ++i) {
        if (const char16_t unit = t->pair[i]) {
            t->code[unit] = static_cast<std::uint16_t>(((0x81 + i / 256) << 8) | (i % 256));
            coded[unit] = true;
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (const char16_t unit = t->high_single[i]) {
            t->code[unit] = static_cast<std::uint8_t>(high[i]);
            coded[unit] = true;
        }
    }

    // What is left are characters that GB18030 puts at a two-byte code where Windows' table has
    // a private-use character. That private-use character keeps the two-byte code, so its
    // GB18030 four-byte sequence is never written; the character takes that sequence instead
    // (as GB18030-2000 had it), which keeps decoding and encoding each other's inverse.
    for (char32_t unit = 0x80; unit < 0x10000; ++unit) {
        if (coded[unit] || (unit >= 0xD800 && unit < 0xE000)) continue;
        const std::string gb = EncodeOne(gb18030.get(), static_cast<char16_t>(unit));
        if (gb.size() != 2) continue;
        const char16_t holder = DecodeOne(windows.get(), gb.data(), 2);
        const std::string free_sequence = holder ? EncodeOne(gb18030.get(), holder) : std::string();
        if (free_sequence.size() != 4) continue;
        const std::uint32_t number = FourByteNumber(free_sequence);
        if (number >= kFourByteBmpCount || t->four[number] != holder) continue;
        t->four[number] = static_cast<char16_t>(unit);
        t->four_index[unit] = static_cast<std::uint16_t>(number);
        coded[unit] = true;
    }

    // Whatever is still without a code (surrogates, and nothing else if ICU's tables are as
    // expected) is written as U+FFFD.
    for (char32_t unit = 0x80; unit < 0x10000; ++unit) {
        if (!coded[unit]) t->four_index[unit] = t->four_index[kReplacement];
    }
    return t;
}

}  // namespace

const GbkTables& Gbk() {
    static const std::unique_ptr<GbkTables> tables = BuildTables();
    return *tables;
}

}  // namespace qelvanto::codepage
