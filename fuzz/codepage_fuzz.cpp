// Code page conversions: a valid UTF-8 text survives the trip through code page 936 exactly;
// anything else must convert without harm.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "text/codepage.h"
#include "text/text.h"

using namespace qelvanto;

namespace {

// Strict UTF-8 check (no overlongs, no surrogates, nothing above U+10FFFF, no NUL).
bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == 0) return false;
        std::size_t len;
        std::uint32_t cp;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        if (cp >= 0xD800 && cp <= 0xDFFF) return false;
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const Text text(raw);

    const Text ansi = Utf8ToAnsi(text);
    if (IsValidUtf8(text.view())) FUZZ_CHECK(AnsiToUtf8(ansi) == text);

    const Text utf8 = AnsiToUtf8(text);
    const Text encoded = UrlEncodeUtf8(text);
    FUZZ_CHECK(encoded.size() == 3 * utf8.size());

    std::u16string units;
    std::vector<std::uint32_t> offsets;
    DecodeAnsi(text.view(), units, &offsets);
    FUZZ_CHECK(offsets.size() == units.size() + 1);
    FUZZ_CHECK(offsets.back() == text.size());
    for (std::size_t i = 1; i < offsets.size(); ++i) FUZZ_CHECK(offsets[i - 1] <= offsets[i]);

    const Text big5 = Big5ToAnsi(text);
    FUZZ_CHECK(Big5ToSimplified(text).size() == big5.size());
    FUZZ_CHECK(SimplifyChinese(text).size() == text.size());

    const Bytes wide = CodePageToUtf16(text);
    FUZZ_CHECK(wide.size() >= 2 && wide.size() % 2 == 0);
    (void)Utf16ToCodePage(Bytes(raw));
    return 0;
}
