#pragma once

// Splits a fuzzer's input into the pieces a target needs: small integers first, then texts
// separated by 0xFF bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace qelvanto::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // Four bytes as a signed integer, so INT_MIN and INT_MAX come up too; 0 when exhausted.
    std::int32_t Int() {
        std::uint32_t v = 0;
        const std::size_t n = rest_.size() < 4 ? rest_.size() : 4;
        std::memcpy(&v, rest_.data(), n);
        rest_.remove_prefix(n);
        return static_cast<std::int32_t>(v);
    }
    bool Bool() { return (Int() & 1) != 0; }

    // Bytes up to the next 0xFF separator, or the rest.
    std::string_view Piece() {
        const std::size_t cut = rest_.find('\xff');
        std::string_view piece = rest_.substr(0, cut);
        rest_.remove_prefix(cut == std::string_view::npos ? rest_.size() : cut + 1);
        return piece;
    }
    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

// A broken invariant: print what broke and abort so the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(cond) \
    do {                 \
        if (!(cond)) ::qelvanto::fuzz::Fail(#cond); \
    } while (0)

}  // namespace qelvanto::fuzz
