// The text primitives on arbitrary subjects, needles and numbers.

#include <cstdint>
#include <string_view>

#include "fuzz_input.h"
#include "text/delimited.h"
#include "text/text.h"

using namespace qelvanto;

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Whether `offset` is where a character starts when scanning from `from`.
bool IsCharStart(std::string_view s, std::size_t from, std::size_t offset) {
    std::size_t i = from;
    while (i < offset) i += static_cast<unsigned char>(s[i]) >= 0x80 ? 2 : 1;
    return i == offset;
}

bool Contains(std::string_view haystack, std::string_view piece) {
    return haystack.find(piece) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::int32_t a = in.Int();
    const std::int32_t b = in.Int();
    const bool flag = in.Bool();
    const Text subject(in.Piece());
    const Text needle(in.Piece());
    const Text other(in.Piece());
    const std::string_view s = subject.view();
    const std::string_view n = needle.view();

    const int found = FindText(subject, needle, a, flag);
    FUZZ_CHECK(found == -1 || (found >= 1 && found <= TextLength(subject)));
    if (found != -1 && !n.empty()) {
        const std::size_t at = static_cast<std::size_t>(found - 1);
        const std::size_t from = a > 1 ? static_cast<std::size_t>(a - 1) : 0;
        FUZZ_CHECK(at >= from && at + n.size() <= s.size());
        for (std::size_t i = 0; i < n.size(); ++i) {
            const auto x = static_cast<unsigned char>(s[at + i]);
            const auto y = static_cast<unsigned char>(n[i]);
            FUZZ_CHECK(flag ? Fold(x) == Fold(y) : x == y);
        }
        FUZZ_CHECK(IsCharStart(s, from, at));
    }

    const Text trimmed = TrimText(subject);
    FUZZ_CHECK(Contains(s, trimmed.view()));

    const Text lower = ToLowerText(subject);
    FUZZ_CHECK(lower.size() == subject.size());

    const Text mid = TextMid(subject, a, b);
    FUZZ_CHECK(mid.size() <= static_cast<std::size_t>(b > 0 ? b : 0));
    if (!mid.empty()) FUZZ_CHECK(s.substr(static_cast<std::size_t>(a - 1), mid.size()) == mid.view());

    FUZZ_CHECK(TextLeft(subject, a).size() <= subject.size());
    FUZZ_CHECK(TextRight(subject, b).size() <= subject.size());

    const Text between = TextBetween(subject, needle, other, a, flag);
    FUZZ_CHECK(Contains(s, between.view()));
    const Text before = TextBefore(subject, needle, a, flag);
    FUZZ_CHECK(s.substr(0, before.size()) == before.view());

    // Replacing a text by itself, case-sensitively, changes nothing.
    FUZZ_CHECK(ReplaceSubtext(subject, needle, needle, a, b, true) == subject);
    (void)ReplaceSubtext(subject, needle, other, a, b, flag);
    (void)ReplaceSubtext(subject, needle, std::nullopt, std::nullopt, std::nullopt, flag);
    (void)ReplaceRange(subject, a, b, other);

    (void)TextToInt(subject);
    (void)TextToNumber(subject);
    (void)CompareText(subject, needle, flag);
    return 0;
}
