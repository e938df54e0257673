#pragma once

// Shows a Text as its bytes when an expectation fails (GoogleTest finds PrintTo by argument
// lookup in the Text's namespace).

#include <ostream>

#include "text/text.h"

namespace qelvanto {

inline void PrintTo(const Text& text, std::ostream* os) {
    static const char digits[] = "0123456789abcdef";
    *os << '"';
    for (unsigned char b : text.view()) {
        if (b >= 0x20 && b < 0x7f && b != '\\' && b != '"') *os << static_cast<char>(b);
        else *os << "\\x" << digits[b >> 4] << digits[b & 15];
    }
    *os << '"';
}

}  // namespace qelvanto
