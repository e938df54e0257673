#include "web/url.h"

#include <climits>
#include <cmath>

namespace qelvanto {
namespace {

// A number used as an integer is truncated toward zero; values beyond the range of an int
// saturate instead of being undefined.
std::int32_t TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<std::int32_t>(value);
}

}  // namespace

Text UrlHost(const Text& url) {
    // Only the lower-case schemes are dropped, and wherever they stand.
    Text rest = ReplaceSubtext(url, "https://", std::nullopt, std::nullopt, std::nullopt, true);
    rest = ReplaceSubtext(rest, "http://", std::nullopt, std::nullopt, std::nullopt, true);
    if (const int slash = FindText(rest, "/"); slash > 0) rest = TextLeft(rest, slash - 1);
    if (const int colon = FindText(rest, ":"); colon > 0) rest = TextLeft(rest, colon - 1);
    return ToLowerText(rest);
}

Text UrlPath(const Text& url) {
    const Text host = UrlHost(url);
    const int a = FindText(url, host, 1, true);
    const int b = FindText(url, "/", a, true);
    if (b <= 0) return Text("/");
    return TextRight(url, TextLength(url) - b + 1);
}

std::int32_t UrlPort(const Text& url) {
    Text host_part;
    if (CompareText(TextLeft(url, 7), "http://", false) == 0) {
        const int p = FindText(url, "/", 8, true);
        host_part = p <= 0 ? ReplaceRange(url, 1, 7) : TextMid(url, 8, p - 8);
    } else {
        const int p = FindText(url, "/", 1, true);
        host_part = p <= 0 ? url : TextLeft(url, p - 1);
    }
    const int c = FindText(host_part, ":", 1, true);
    const Text port = c <= 0 ? Text("80") : TextRight(host_part, TextLength(host_part) - c);
    return TruncateToInt(TextToNumber(port));
}

}  // namespace qelvanto
