#include "text/codepage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <unordered_map>

#include <unicode/translit.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>

#include "text/codepage_gbk.h"
#include "text/icu_converter.h"

namespace qelvanto {
namespace {

using codepage::AsciiRun;
using codepage::DecodeGbk;
using codepage::DecodeUtf16;
using codepage::DecodeUtf8;
using codepage::EncodeGbk;
using codepage::EncodeUtf8;
using codepage::Gbk;
using codepage::GbkTables;

const unsigned char* Begin(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// An output buffer that grows by doubling; callers ask for room before each write, so the hot
// loops write through plain pointers.
template <typename Unit>
class Sink {
public:
    explicit Sink(std::size_t expected) : buffer_(expected + 16, Unit{}) {}

    Unit* Room(std::size_t n) {
        if (buffer_.size() - used_ < n) buffer_.resize(std::max(buffer_.size() * 2, used_ + n));
        return buffer_.data() + used_;
    }
    void Advance(std::size_t n) { used_ += n; }
    void Append(const Unit* units, std::size_t n) {
        std::memcpy(Room(n), units, n * sizeof(Unit));
        used_ += n;
    }
    std::basic_string<Unit> Take() && {
        buffer_.resize(used_);
        return std::move(buffer_);
    }

private:
    std::basic_string<Unit> buffer_;
    std::size_t used_ = 0;
};

// Converts byte text to byte text, copying ASCII runs as they are (search pages are mostly
// ASCII) and handing every other character to `step`, which reads one character at p and writes
// at most four bytes at o. The input goes in chunks; before each, the output gets room for the
// most the chunk can give, so the loops write through plain pointers.
template <typename Step>
std::string ConvertBytes(std::string_view in, Step step) {
    constexpr std::size_t kChunk = 16 * 1024;
    constexpr std::size_t kMostPerByte = 4;
    std::string out;
    out.resize(in.size() + in.size() / 2 + std::min(in.size(), kChunk) * kMostPerByte + 16);
    std::size_t used = 0;
    const unsigned char* p = Begin(in);
    const unsigned char* const end = p + in.size();
    while (p < end) {
        const std::size_t chunk = std::min(kChunk, static_cast<std::size_t>(end - p));
        // A character that starts in the chunk may end up to three bytes past it.
        const std::size_t need = used + (chunk + 3) * kMostPerByte + 8;
        if (out.size() < need) out.resize(std::max(need, out.size() + out.size() / 2));
        auto* const base = reinterpret_cast<unsigned char*>(out.data());
        unsigned char* o = base + used;
        const unsigned char* const chunk_end = p + chunk;
        while (p < chunk_end) {
            if (*p < 0x80) {
                const std::size_t run = AsciiRun(p, chunk_end);
                std::memcpy(o, p, run);
                o += run;
                p += run;
                continue;
            }
            step(p, end, o);
        }
        used = static_cast<std::size_t>(o - base);
    }
    out.resize(used);
    return out;
}

std::string Utf8To936(std::string_view in) {
    const GbkTables& t = Gbk();
    return ConvertBytes(in, [&t](const unsigned char*& p, const unsigned char* end,
                                 unsigned char*& o) {
        // Most characters here are three-byte CJK with a two-byte GBK code.
        if (end - p >= 3 && (p[0] & 0xF0) == 0xE0 && (p[1] & 0xC0) == 0x80 &&
            (p[2] & 0xC0) == 0x80) {
            const char32_t cp = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            const std::uint16_t code = t.code[cp];
            if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF) && code >= 0x100) {
                o[0] = static_cast<unsigned char>(code >> 8);
                o[1] = static_cast<unsigned char>(code);
                o += 2;
                p += 3;
                return;
            }
        }
        char32_t cp;
        p += DecodeUtf8(p, end, cp);
        o += EncodeGbk(t, cp, o);
    });
}

std::string Gbk936ToUtf8(std::string_view in) {
    const GbkTables& t = Gbk();
    return ConvertBytes(in, [&t](const unsigned char*& p, const unsigned char* end,
                                 unsigned char*& o) {
        // A GBK byte pair goes straight to its UTF-8 bytes.
        if (p[0] - 0x81u < 0x7Eu && end - p >= 2) {
            const codepage::Utf8Form& form = t.pair_utf8[(p[0] - 0x81u) * 256u + p[1]];
            if (form.length != 0) {
                std::memcpy(o, form.bytes, 3);
                o += form.length;
                p += 2;
                return;
            }
        }
        char32_t cp;
        p += DecodeGbk(t, p, end, cp);
        o += EncodeUtf8(cp, o);
    });
}

std::u16string Utf8ToUnits(std::string_view in) {
    // Every character gives at most as many units as it has bytes.
    std::u16string out(in.size(), u'\0');
    char16_t* o = out.data();
    const unsigned char* p = Begin(in);
    const unsigned char* const end = p + in.size();
    while (p < end) {
        if (*p < 0x80) {
            const std::size_t run = AsciiRun(p, end);
            codepage::WidenAscii(p, run, o);
            o += run;
            p += run;
            continue;
        }
        char32_t cp;
        p += DecodeUtf8(p, end, cp);
        if (cp < 0x10000) {
            *o++ = static_cast<char16_t>(cp);
        } else {
            *o++ = static_cast<char16_t>(0xD7C0 + (cp >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string UnitsTo936(std::u16string_view in) {
    const GbkTables& t = Gbk();
    Sink<char> out(in.size() * 2);
    const char16_t* p = in.data();
    const char16_t* const end = p + in.size();
    while (p < end) {
        char32_t cp;
        p += DecodeUtf16(p, end, cp);
        out.Advance(EncodeGbk(t, cp, reinterpret_cast<unsigned char*>(out.Room(4))));
    }
    return std::move(out).Take();
}

std::string UnitsToUtf8(std::u16string_view in) {
    Sink<char> out(in.size() * 3);
    const char16_t* p = in.data();
    const char16_t* const end = p + in.size();
    while (p < end) {
        char32_t cp;
        p += DecodeUtf16(p, end, cp);
        out.Advance(EncodeUtf8(cp, reinterpret_cast<unsigned char*>(out.Room(4))));
    }
    return std::move(out).Take();
}

// UTF-16LE bytes of the units followed by one zero unit.
Bytes UnitsToBytes(std::u16string_view units) {
    std::string bytes((units.size() + 1) * 2, '\0');
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes.data(), units.data(), units.size() * 2);
    } else {
        for (std::size_t i = 0; i < units.size(); ++i) {
            bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
        }
    }
    return Bytes(std::move(bytes));
}

// The UTF-16LE units in front of the first zero unit; an odd last byte is ignored.
std::u16string UnitsOf(const Bytes& utf16) {
    const std::string_view bytes = utf16.view();
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (unit == 0) break;
        units.push_back(unit);
    }
    return units;
}

// Single-character traditional-to-simplified forms. The transliterator also holds phrase rules,
// which would rewrite a character differently depending on its neighbours; taking it one
// character at a time over its whole source set gives a fixed table instead. Built once (the
// transliterator takes tens of milliseconds to create) and read-only afterwards.
std::unordered_map<char32_t, char32_t> BuildSimplifiedForms() {
    std::unordered_map<char32_t, char32_t> forms;
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> transliterator(
        icu::Transliterator::createInstance("Traditional-Simplified", UTRANS_FORWARD, error));
    if (U_FAILURE(error) || !transliterator) return forms;
    icu::UnicodeSet source;
    transliterator->getSourceSet(source);
    for (int32_t range = 0; range < source.getRangeCount(); ++range) {
        for (UChar32 c = source.getRangeStart(range); c <= source.getRangeEnd(range); ++c) {
            if (c < 0x80) continue;
            icu::UnicodeString one(c);
            transliterator->transliterate(one);
            if (one.countChar32() == 1 && one.char32At(0) != c) {
                forms.emplace(static_cast<char32_t>(c), static_cast<char32_t>(one.char32At(0)));
            }
        }
    }
    return forms;
}

const std::unordered_map<char32_t, char32_t>& SimplifiedForms() {
    static const auto forms = BuildSimplifiedForms();
    return forms;
}

}  // namespace

void DecodeAnsi(std::string_view ansi, std::u16string& out, std::vector<std::uint32_t>* offsets) {
    const GbkTables& t = Gbk();
    const std::size_t size = ansi.size();
    // Every character gives at most as many units as it has bytes.
    out.resize(size);
    if (offsets) offsets->resize(size + 1);
    char16_t* const units = out.data();
    std::uint32_t* const starts = offsets ? offsets->data() : nullptr;
    const unsigned char* const begin = Begin(ansi);
    const unsigned char* const end = begin + size;
    const unsigned char* p = begin;
    std::size_t k = 0;
    while (p < end) {
        if (*p < 0x80) {
            const std::size_t run = AsciiRun(p, end);
            codepage::WidenAscii(p, run, units + k);
            if (starts) {
                codepage::FillOffsets(starts + k, run, static_cast<std::uint32_t>(p - begin));
            }
            k += run;
            p += run;
            continue;
        }
        const auto at = static_cast<std::uint32_t>(p - begin);
        char32_t cp;
        p += DecodeGbk(t, p, end, cp);
        if (cp < 0x10000) {
            units[k] = static_cast<char16_t>(cp);
            if (starts) starts[k] = at;
            k += 1;
        } else {
            units[k] = static_cast<char16_t>(0xD7C0 + (cp >> 10));
            units[k + 1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            if (starts) starts[k] = starts[k + 1] = at;
            k += 2;
        }
    }
    out.resize(k);
    if (offsets) {
        offsets->resize(k + 1);
        (*offsets)[k] = static_cast<std::uint32_t>(size);
    }
}

Bytes CodePageToUtf16(const Text& text, std::optional<int> code_page) {
    const int page = code_page.value_or(kCodePageUtf8);
    std::u16string units;
    if (page == kCodePageGbk) {
        DecodeAnsi(text.view(), units);
    } else if (page == kCodePageUtf8) {
        units = Utf8ToUnits(text.view());
    } else if (UConverter* converter = icu_support::ThreadConverter(page)) {
        units = icu_support::DecodeWith(converter, text.view());
    } else {
        return Bytes();
    }
    return UnitsToBytes(units);
}

Text Utf16ToCodePage(const Bytes& utf16, std::optional<int> code_page) {
    const int page = code_page.value_or(kCodePageGbk);
    const std::u16string units = UnitsOf(utf16);
    if (page == kCodePageGbk) return Text(UnitsTo936(units));
    if (page == kCodePageUtf8) return Text(UnitsToUtf8(units));
    if (UConverter* converter = icu_support::ThreadConverter(page)) {
        return Text(icu_support::EncodeWith(converter, units));
    }
    return Text();
}

Text AnsiToUtf8(const Text& text) { return Text(Gbk936ToUtf8(text.view())); }

Text Utf8ToAnsi(const Text& text) { return Text(Utf8To936(text.view())); }

Text Big5ToAnsi(const Text& text) {
    UConverter* big5 = icu_support::ThreadConverter(kCodePageBig5);
    if (!big5 || text.empty()) return Text();
    return Text(UnitsTo936(icu_support::DecodeWith(big5, text.view())));
}

Text SimplifyChinese(const Text& text) {
    const GbkTables& t = Gbk();
    const auto& forms = SimplifiedForms();
    std::string out = text.str();
    const unsigned char* const begin = Begin(out);
    const unsigned char* const end = begin + out.size();
    const unsigned char* p = begin;
    while (p < end) {
        p += AsciiRun(p, end);
        if (p == end) break;
        char32_t cp;
        const std::size_t length = DecodeGbk(t, p, end, cp);
        // Only a replacement of the same byte length keeps the text's length and every other
        // character where it was.
        if (const auto it = forms.find(cp); it != forms.end()) {
            unsigned char bytes[4];
            if (EncodeGbk(t, it->second, bytes) == length) {
                std::memcpy(out.data() + (p - begin), bytes, length);
            }
        }
        p += length;
    }
    return Text(std::move(out));
}

Text Big5ToSimplified(const Text& text) { return SimplifyChinese(Big5ToAnsi(text)); }

Text UrlEncodeUtf8(const Text& text, std::optional<bool> keep_safe) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool keep = keep_safe.value_or(false);
    const Text utf8 = AnsiToUtf8(text);
    std::string out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8.view()) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep && ((byte >= 0x2C && byte <= 0x39) || (byte >= 0x41 && byte <= 0x5A) ||
                     (byte >= 0x61 && byte <= 0x7A))) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
        ProcessEvents();
    }
    return Text(std::move(out));
}

}  // namespace qelvanto
