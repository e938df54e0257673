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

void AppendUnits(Sink<char16_t>& out, char32_t cp) {
    char16_t* at = out.Room(2);
    if (cp < 0x10000) {
        at[0] = static_cast<char16_t>(cp);
        out.Advance(1);
    } else {
        at[0] = static_cast<char16_t>(0xD7C0 + (cp >> 10));
        at[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        out.Advance(2);
    }
}

// Each converter below copies ASCII runs as they are and decodes only the characters between
// them; search pages are mostly ASCII.

std::string Utf8To936(std::string_view in) {
    const GbkTables& t = Gbk();
    Sink<char> out(in.size());
    const unsigned char* p = Begin(in);
    const unsigned char* const end = p + in.size();
    while (p < end) {
        const std::size_t run = AsciiRun(p, end);
        out.Append(reinterpret_cast<const char*>(p), run);
        p += run;
        if (p == end) break;
        char32_t cp;
        p += DecodeUtf8(p, end, cp);
        out.Advance(EncodeGbk(t, cp, reinterpret_cast<unsigned char*>(out.Room(4))));
    }
    return std::move(out).Take();
}

std::string Gbk936ToUtf8(std::string_view in) {
    const GbkTables& t = Gbk();
    Sink<char> out(in.size() + in.size() / 2);
    const unsigned char* p = Begin(in);
    const unsigned char* const end = p + in.size();
    while (p < end) {
        const std::size_t run = AsciiRun(p, end);
        out.Append(reinterpret_cast<const char*>(p), run);
        p += run;
        if (p == end) break;
        char32_t cp;
        p += DecodeGbk(t, p, end, cp);
        out.Advance(EncodeUtf8(cp, reinterpret_cast<unsigned char*>(out.Room(4))));
    }
    return std::move(out).Take();
}

std::u16string Utf8ToUnits(std::string_view in) {
    Sink<char16_t> out(in.size());
    const unsigned char* p = Begin(in);
    const unsigned char* const end = p + in.size();
    while (p < end) {
        const std::size_t run = AsciiRun(p, end);
        codepage::WidenAscii(p, run, out.Room(run));
        out.Advance(run);
        p += run;
        if (p == end) break;
        char32_t cp;
        p += DecodeUtf8(p, end, cp);
        AppendUnits(out, cp);
    }
    return std::move(out).Take();
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
        const std::size_t run = AsciiRun(p, end);
        codepage::WidenAscii(p, run, units + k);
        if (starts) codepage::FillOffsets(starts + k, run, static_cast<std::uint32_t>(p - begin));
        k += run;
        p += run;
        if (p == end) break;
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
