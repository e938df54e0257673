#pragma once

// Character-level codecs behind the code page conversions: code page 936 (Windows' GBK table
// extended by GB18030 four-byte sequences), UTF-8 and UTF-16, plus a fast scan for ASCII runs.
// Internal to the text library.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qelvanto::codepage {

inline constexpr char32_t kReplacement = 0xFFFD;

// A GB18030 four-byte sequence b1 b2 b3 b4 (b1, b3 in 0x81-0xFE; b2, b4 in 0x30-0x39) is
// numbered (b1-0x81)*12600 + (b2-0x30)*1260 + (b3-0x81)*10 + (b4-0x30). The first
// kFourByteBmpCount numbers cover the BMP; from kFourByteSupplementaryBase on they run through
// U+10000..U+10FFFF in order.
inline constexpr std::uint32_t kFourByteBmpCount = 39420;
inline constexpr std::uint32_t kFourByteSupplementaryBase = 189000;

// The UTF-8 form of a BMP unit; length 0 marks no unit.
struct Utf8Form {
    unsigned char bytes[3];
    unsigned char length;
};

struct GbkTables {
    // Windows' decoding of the single bytes 0x80 and 0xFF (the other bytes >= 0x81 lead a
    // longer sequence).
    char16_t high_single[2];
    // (lead - 0x81) * 256 + trail -> unit; 0 where the trail byte cannot follow a lead byte.
    char16_t pair[126 * 256];
    // The same pairs straight to UTF-8.
    Utf8Form pair_utf8[126 * 256];
    // Four-byte number below kFourByteBmpCount -> unit; 0 where unassigned.
    char16_t four[kFourByteBmpCount];
    // BMP unit -> its one-byte (below 0x100) or two-byte code; 0 means a four-byte sequence,
    // numbered by four_index.
    std::uint16_t code[0x10000];
    std::uint16_t four_index[0x10000];
};

// Built from ICU's windows-936 and gb18030 converters on first use, then shared read-only.
const GbkTables& Gbk();

// Decodes the character at p (p < end) and returns its length in bytes. Bytes that do not
// form a character decode as U+FFFD: a stray lead byte or a malformed four-byte sequence
// takes one byte (what follows is read anew), a well-formed but unassigned four-byte sequence
// takes all four.
inline std::size_t DecodeGbk(const GbkTables& t, const unsigned char* p, const unsigned char* end,
                             char32_t& cp) {
    const unsigned lead = p[0];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if (lead == 0x80 || lead == 0xFF) {
        cp = t.high_single[lead == 0xFF];
        return 1;
    }
    if (end - p < 2) {
        cp = kReplacement;
        return 1;
    }
    const unsigned second = p[1];
    if (second - 0x30u < 10u) {
        if (end - p < 4 || p[2] - 0x81u > 0x7Du || p[3] - 0x30u > 9u) {
            cp = kReplacement;
            return 1;
        }
        const std::uint32_t number = ((lead - 0x81u) * 10u + (second - 0x30u)) * 1260u +
                                     (p[2] - 0x81u) * 10u + (p[3] - 0x30u);
        if (number < kFourByteBmpCount) {
            cp = t.four[number] ? t.four[number] : kReplacement;
        } else if (number >= kFourByteSupplementaryBase &&
                   number - kFourByteSupplementaryBase < 0x100000u) {
            cp = 0x10000u + (number - kFourByteSupplementaryBase);
        } else {
            cp = kReplacement;
        }
        return 4;
    }
    const char16_t unit = t.pair[(lead - 0x81u) * 256u + second];
    if (unit == 0) {
        cp = kReplacement;
        return 1;
    }
    cp = unit;
    return 2;
}

// Writes the code page 936 form of a scalar value (1, 2 or 4 bytes) and returns its length.
// Surrogates and values past U+10FFFF are written as U+FFFD.
inline std::size_t EncodeGbk(const GbkTables& t, char32_t cp, unsigned char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    std::uint32_t number;
    if (cp < 0x10000) {
        const std::uint16_t code = t.code[cp];
        if (code >= 0x100) {
            out[0] = static_cast<unsigned char>(code >> 8);
            out[1] = static_cast<unsigned char>(code);
            return 2;
        }
        if (code != 0) {
            out[0] = static_cast<unsigned char>(code);
            return 1;
        }
        number = t.four_index[cp];
    } else if (cp <= 0x10FFFF) {
        number = kFourByteSupplementaryBase + (cp - 0x10000);
    } else {
        number = t.four_index[kReplacement];
    }
    out[3] = static_cast<unsigned char>(0x30 + number % 10);
    number /= 10;
    out[2] = static_cast<unsigned char>(0x81 + number % 126);
    number /= 126;
    out[1] = static_cast<unsigned char>(0x30 + number % 10);
    number /= 10;
    out[0] = static_cast<unsigned char>(0x81 + number);
    return 4;
}

// Decodes the UTF-8 character at p (p < end). An ill-formed sequence gives one U+FFFD for each
// maximal part of a well-formed sequence (the Unicode recommendation, which ICU follows too).
inline std::size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& cp) {
    const unsigned b0 = p[0];
    const std::ptrdiff_t avail = end - p;
    cp = kReplacement;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 < 0xC2 || b0 > 0xF4) return 1;
    if (b0 < 0xE0) {
        if (avail < 2 || (p[1] & 0xC0) != 0x80) return 1;
        cp = ((b0 & 0x1Fu) << 6) | (p[1] & 0x3Fu);
        return 2;
    }
    unsigned lo = 0x80, hi = 0xBF;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
    if (avail < 2 || p[1] < lo || p[1] > hi) return 1;
    if (avail < 3 || (p[2] & 0xC0) != 0x80) return 2;
    if (b0 < 0xF0) {
        cp = ((b0 & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
        return 3;
    }
    if (avail < 4 || (p[3] & 0xC0) != 0x80) return 3;
    cp = ((b0 & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    return 4;
}

inline std::size_t EncodeUtf8(char32_t cp, unsigned char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if ((cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF) cp = kReplacement;
    if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
}

// Decodes the UTF-16 character at p (p < end); a lone surrogate gives U+FFFD.
inline std::size_t DecodeUtf16(const char16_t* p, const char16_t* end, char32_t& cp) {
    const char32_t u = p[0];
    if (u < 0xD800 || u >= 0xE000) {
        cp = u;
        return 1;
    }
    if (u < 0xDC00 && end - p >= 2 && p[1] >= 0xDC00 && p[1] < 0xE000) {
        cp = 0x10000 + ((u - 0xD800) << 10) + (p[1] - 0xDC00u);
        return 2;
    }
    cp = kReplacement;
    return 1;
}

// Number of bytes from p on that are below 0x80.
inline std::size_t AsciiRun(const unsigned char* p, const unsigned char* end) {
    const unsigned char* const start = p;
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (mask != 0) return static_cast<std::size_t>(p - start) + std::countr_zero(mask);
        p += 16;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            word &= 0x8080808080808080ull;
            if (word != 0) return static_cast<std::size_t>(p - start) + std::countr_zero(word) / 8;
            p += 8;
        }
    }
    while (p < end && *p < 0x80) ++p;
    return static_cast<std::size_t>(p - start);
}

// Widens n ASCII bytes to UTF-16 units.
inline void WidenAscii(const unsigned char* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
#endif
    for (; i < n; ++i) out[i] = in[i];
}

// out[i] = first + i for i < n.
inline void FillOffsets(std::uint32_t* out, std::size_t n, std::uint32_t first) {
    std::size_t i = 0;
#if defined(__SSE2__)
    __m128i next = _mm_setr_epi32(static_cast<int>(first), static_cast<int>(first + 1),
                                  static_cast<int>(first + 2), static_cast<int>(first + 3));
    const __m128i four = _mm_set1_epi32(4);
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), next);
        next = _mm_add_epi32(next, four);
    }
#endif
    for (; i < n; ++i) out[i] = first + static_cast<std::uint32_t>(i);
}

}  // namespace qelvanto::codepage
