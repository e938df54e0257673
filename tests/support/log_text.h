#pragma once

// Reading the harvest log in tests: every entry starts with the time of day, which tests
// cannot predict, so it is replaced by "T".

#include <cctype>
#include <string>
#include <string_view>

namespace qelvanto::testing {

// Replaces every "H:M:S:" (one or two digits each) by "T:".
inline std::string WithoutTimes(std::string_view log) {
    auto digits = [&](std::size_t at) {
        std::size_t n = 0;
        while (at + n < log.size() && n < 3 && std::isdigit(static_cast<unsigned char>(log[at + n]))) ++n;
        return n;
    };
    std::string out;
    std::size_t i = 0;
    while (i < log.size()) {
        std::size_t at = i;
        bool time = true;
        for (int part = 0; part < 3 && time; ++part) {
            const std::size_t n = digits(at);
            time = n >= 1 && n <= 2 && at + n < log.size() && log[at + n] == ':';
            at += n + 1;
        }
        if (time) {
            out += "T:";
            i = at;
        } else {
            out += log[i++];
        }
    }
    return out;
}

}  // namespace qelvanto::testing
