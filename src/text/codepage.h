#pragma once

// Conversions between the tool's code page 936 texts, UTF-8, UTF-16 and Big5, and URL
// encoding. Code page 936 is Windows' GBK table; a character it lacks is carried as its
// GB18030 four-byte sequence, so UTF-8 -> 936 -> UTF-8 is exact for every valid UTF-8 text.
// Bytes invalid in the source encoding become U+FFFD.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace qelvanto {

inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageBig5 = 950;
inline constexpr int kCodePageUtf8 = 65001;

// UTF-16LE code units of the text followed by one zero unit.
Bytes CodePageToUtf16(const Text& text, std::optional<int> code_page = std::nullopt);
// The units up to the first zero unit, in the code page (default 936).
Text Utf16ToCodePage(const Bytes& utf16, std::optional<int> code_page = std::nullopt);

Text AnsiToUtf8(const Text& text);
Text Utf8ToAnsi(const Text& text);
Text Big5ToAnsi(const Text& text);
Text SimplifyChinese(const Text& text);
Text Big5ToSimplified(const Text& text);

// Every byte of the UTF-8 form as %XX, except, with keep_safe, the bytes 0x2C-0x39,
// 0x41-0x5A and 0x61-0x7A.
Text UrlEncodeUtf8(const Text& text, std::optional<bool> keep_safe = std::nullopt);

// Decodes code page 936 bytes to UTF-16. When `offsets` is given it receives, for every
// output unit, the byte offset in `ansi` of the character it came from, plus one final entry
// equal to ansi.size(), so a unit range [b, e) maps to the byte range [offsets[b], offsets[e]).
void DecodeAnsi(std::string_view ansi, std::u16string& out,
                std::vector<std::uint32_t>* offsets = nullptr);

}  // namespace qelvanto
