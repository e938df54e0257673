#pragma once

// A regular expression run over a code page 936 subject, with its matches, capture groups and
// byte positions numbered from 1.
//
// The engine is PCRE2 (UTF-16, JIT when available). Subject and pattern are decoded from code
// page 936 to UTF-16, so a trail byte of a double-byte character can never be taken for a
// letter or a backslash; matches are cut from the original bytes. The pattern keeps the
// meaning the tool relies on: "." stops at a line feed, \d is an ASCII digit, letter case is
// ignored for all letters when asked, ^ and $ work per line in multi-line mode, and an empty
// match in global mode moves the next search on by one character.
//
// Every failure is a value: a pattern that does not compile makes Create return false and
// leaves no match; numbers out of range give an empty Text. Matching runs under a match and
// a depth limit; when a search hits one (or fails in any other way), the matches found before
// it are all there are.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "text/text.h"

namespace qelvanto {

class RegexObject {
public:
    // Work limits of one search, applied afresh at every start position the engine tries.
    // The match limit bounds backtracking (JIT-compiled patterns honour it too); each step of
    // a lazy repeat counts, so a group record whose strings are under about 10,000
    // characters together stays well inside the default, while a body crafted to make every
    // start position backtrack costs at most this much per candidate start. The depth limit
    // bounds the nesting of the interpreter, which runs when JIT is unavailable.
    struct Limits {
        std::uint32_t match = 20'000;
        std::uint32_t depth = 10'000;
        // A subject up to this many bytes keeps the byte offset of every decoded unit (four
        // bytes per unit, the fastest way to find positions). A longer one keeps a checkpoint
        // every few hundred units and decodes a short stretch again to place a match.
        std::size_t offset_table_bytes = std::size_t{8} << 20;
    };

    RegexObject() noexcept;
    explicit RegexObject(Limits limits) noexcept;
    ~RegexObject();
    // A copy gives the same results and shares nothing that either object changes.
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject& other);
    RegexObject(RegexObject&& other) noexcept;
    RegexObject& operator=(RegexObject&& other) noexcept;

    // Compiles `pattern` (reusing the compiled form when pattern and options equal the last
    // ones) and finds its matches in `subject`: every match when `global`, else the first.
    // Omitted options: letter case ignored, multi-line, global. False when the pattern does
    // not compile; true otherwise, also without any match.
    bool Create(const Text& pattern, const Text& subject,
                std::optional<bool> case_sensitive = std::nullopt,
                std::optional<bool> multi_line = std::nullopt,
                std::optional<bool> global = std::nullopt);
    // The same, taking over `subject` instead of copying it: a big page need not be held twice.
    bool Create(const Text& pattern, Text&& subject,
                std::optional<bool> case_sensitive = std::nullopt,
                std::optional<bool> multi_line = std::nullopt,
                std::optional<bool> global = std::nullopt);

    // The pattern of the last Create; empty before the first.
    Text Pattern() const;

    // The subject of the last Create with its matches (all of them when global, else the
    // first) replaced by `replacement` in PCRE2's substitution syntax ($1, ${name}, $$).
    // Empty before Create, for a pattern that did not compile and on any failure.
    Text Replace(const Text& replacement) const;

    int MatchCount() const;

    // The text of match `match` (from 1). When `position` is given it receives the 0-based
    // byte offset of the match in the subject, or -1 when there is no such match.
    Text MatchText(int match, int* position = nullptr) const;

    // The text of capture group `group` (from 1) of match `match` (from 1); empty for a group
    // that did not take part. `position`, when given, receives the group's 0-based byte
    // offset in the subject, or -1 when the match or group does not exist or took no part.
    Text SubmatchText(int match, int group, int* position = nullptr) const;

    // The number of capture groups of the first match; 0 when there is no match.
    int SubmatchCount() const;

private:
    struct Compiled;
    struct Scratch;

    // Byte span [begin, end) in the subject; begin == kUnset for a group that took no part.
    struct Span {
        std::uint32_t begin;
        std::uint32_t end;
    };
    static constexpr std::uint32_t kUnset = UINT32_MAX;

    // Compiles the pattern when needed and finds its matches in subject_.
    bool Search(const Text& pattern, std::optional<bool> case_sensitive,
                std::optional<bool> multi_line, std::optional<bool> global);
    const Span* FindSpan(int match, int group) const;
    Text Cut(const Span* span, int* position) const;

    Limits limits_;
    bool created_ = false;
    bool global_ = true;
    Text pattern_;
    Text subject_;
    // The compiled pattern never changes once built, so copies share it.
    std::shared_ptr<const Compiled> compiled_;
    // Match data, match context and JIT stack of this object only; a copy makes its own.
    std::unique_ptr<Scratch> scratch_;
    // (1 + group count) spans per match, match after match.
    std::vector<Span> spans_;
    std::uint32_t groups_ = 0;
};

}  // namespace qelvanto
