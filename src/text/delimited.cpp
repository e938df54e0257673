#include "text/delimited.h"

#include <charconv>
#include <chrono>
#include <string>

namespace qelvanto {
namespace {

// "#引号": lets a caller write a double quote inside a delimiter.
const Text kQuoteMarker("#\xd2\xfd\xba\xc5");

Text ExpandQuoteMarker(const Text& delimiter) {
    if (FindText(delimiter, kQuoteMarker) < 0) return delimiter;
    return ReplaceSubtext(delimiter, kQuoteMarker, Text("\""), std::nullopt, std::nullopt, true);
}

}  // namespace

Text TextBetween(const Text& subject, const Text& left, const Text& right, std::optional<int> start,
                 bool case_sensitive) {
    const Text l = ExpandQuoteMarker(left);
    const Text r = ExpandQuoteMarker(right);
    const bool ignore_case = !case_sensitive;

    const int p = FindText(subject, l, start, ignore_case);
    if (p < 0) return {};
    // The remainder begins right after the left delimiter. Searching the subject from there
    // counts characters from the remainder's first byte, so no copy of the remainder is needed.
    const int remainder_start = p + TextLength(l);  // 1-based; at most length + 1
    if (r.empty()) return {};
    const int q = FindText(subject, r, remainder_start, ignore_case);
    if (q < 0) return {};
    return TextMid(subject, remainder_start, q - remainder_start);
}

Text TextBefore(const Text& subject, const Text& delimiter, std::optional<int> start,
                bool case_insensitive) {
    const int from = (start && *start > 0) ? *start : 1;
    const int p = FindText(subject, delimiter, from, case_insensitive);
    if (p < 0) return {};
    return TextLeft(subject, p - 1);
}

Text FormatTimeOfDay(std::optional<int> style, std::optional<DateTime> time) {
    const int chosen = style.value_or(0);
    if (chosen < 0 || chosen > 3) return {};
    const DateTime t = time ? *time : Now();
    const Text h = NumberToText(static_cast<std::int32_t>(HourOf(t)));
    const Text m = NumberToText(static_cast<std::int32_t>(MinuteOf(t)));
    const Text s = NumberToText(static_cast<std::int32_t>(SecondOf(t)));
    switch (chosen) {
        case 0:
            return ConcatText(h, Text("\xca\xb1"), m, Text("\xb7\xd6"), s,  // 时 分
                              Text("\xc3\xeb"));                            // 秒
        case 1:
            return ConcatText(h, Text(":"), m, Text(":"), s);
        case 2:
            return ConcatText(h, Text("-"), m, Text("-"), s);
        default:
            return ConcatText(h, Text("/"), m, Text("/"), s);
    }
}

Text ScriptTimestamp() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    if (ms < 0) return {};
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, ms);
    if (ec != std::errc{}) return {};
    return Text(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

}  // namespace qelvanto
