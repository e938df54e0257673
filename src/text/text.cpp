#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <system_error>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qelvanto {
namespace {

using uchar = unsigned char;

constexpr uchar FoldAscii(uchar b) noexcept {
    return (b >= 'A' && b <= 'Z') ? static_cast<uchar>(b + ('a' - 'A')) : b;
}

constexpr uchar UpperAscii(uchar b) noexcept {
    return (b >= 'a' && b <= 'z') ? static_cast<uchar>(b - ('a' - 'A')) : b;
}

// Sizes of real texts stay far below INT_MAX; saturate rather than wrap if one ever does not.
int ToInt(std::size_t n) noexcept {
    return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// Length of the character that starts at `i`: two bytes for a lead byte with a byte after it,
// otherwise one (a lead byte at the very end counts as a character of its own).
std::size_t CharLength(const uchar* p, std::size_t i, std::size_t n) noexcept {
    return (p[i] >= 0x80 && i + 1 < n) ? 2 : 1;
}

bool EqualAt(const uchar* h, const uchar* needle, std::size_t m, bool fold) noexcept {
    if (!fold) return std::memcmp(h, needle, m) == 0;
    for (std::size_t k = 0; k < m; ++k) {
        if (FoldAscii(h[k]) != FoldAscii(needle[k])) return false;
    }
    return true;
}

const uchar* Data(std::string_view s) noexcept { return reinterpret_cast<const uchar*>(s.data()); }

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Offset of the first occurrence of `needle` in `haystack` that starts a character, with
// characters counted from `from`; kNotFound when there is none or the needle is empty.
std::size_t FindFrom(std::string_view haystack, std::size_t from, std::string_view needle,
                     bool ignore_case) noexcept {
    const std::size_t n = haystack.size();
    const std::size_t m = needle.size();
    if (m == 0 || from > n || m > n - from) return kNotFound;

    const uchar* h = Data(haystack);
    const uchar* nd = Data(needle);
    const std::size_t last_start = n - m;
    const uchar first_lo = ignore_case ? FoldAscii(nd[0]) : nd[0];
    const uchar first_up = ignore_case ? UpperAscii(first_lo) : nd[0];
    const uchar last_lo = ignore_case ? FoldAscii(nd[m - 1]) : nd[m - 1];
    const uchar last_up = ignore_case ? UpperAscii(last_lo) : nd[m - 1];

    // `boundary` is always a known character start at or before the next candidate. Every byte
    // below 0x80 is followed by a character start (it is either a character or a second byte),
    // so whether a candidate starts a character follows from the parity of the run of high
    // bytes in front of it, and that run never has to be scanned past `boundary`. Moving
    // `boundary` up to each confirmed candidate keeps the total scanning linear.
    std::size_t boundary = from;
    auto confirm = [&](std::size_t c) noexcept {
        if (!EqualAt(h + c, nd, m, ignore_case)) return false;
        std::size_t j = c;
        while (j > boundary && h[j - 1] >= 0x80) --j;
        const bool starts_character = (c - j) % 2 == 0;
        boundary = starts_character ? c : c + 1;
        return starts_character;
    };

    std::size_t i = from;
#if defined(__SSE2__)
    // Candidates are the places where both the first and the last byte of the needle fit; 16
    // of them are tested at once, and only those go on to the full comparison.
    const __m128i vf_lo = _mm_set1_epi8(static_cast<char>(first_lo));
    const __m128i vf_up = _mm_set1_epi8(static_cast<char>(first_up));
    const __m128i vl_lo = _mm_set1_epi8(static_cast<char>(last_lo));
    const __m128i vl_up = _mm_set1_epi8(static_cast<char>(last_up));
    while (i <= last_start && last_start - i >= 15) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1));
        const __m128i fa = _mm_or_si128(_mm_cmpeq_epi8(a, vf_lo), _mm_cmpeq_epi8(a, vf_up));
        const __m128i fb = _mm_or_si128(_mm_cmpeq_epi8(b, vl_lo), _mm_cmpeq_epi8(b, vl_up));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(fa, fb)));
        while (mask != 0) {
            const std::size_t c = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (confirm(c)) return c;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    for (; i <= last_start; ++i) {
        const uchar a = h[i];
        const uchar b = h[i + m - 1];
        if ((a == first_lo || a == first_up) && (b == last_lo || b == last_up) && confirm(i)) {
            return i;
        }
    }
    return kNotFound;
}

}  // namespace

// ---- Measuring and cutting ----

int TextLength(const Text& text) { return ToInt(text.size()); }

Text TextLeft(const Text& text, int n) {
    if (n <= 0) return {};
    return Text(text.view().substr(0, static_cast<std::size_t>(n)));
}

Text TextRight(const Text& text, int n) {
    if (n <= 0) return {};
    const std::size_t k = std::min(static_cast<std::size_t>(n), text.size());
    return Text(text.view().substr(text.size() - k));
}

Text TextMid(const Text& text, int start, int n) {
    if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > text.size()) return {};
    return Text(
        text.view().substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

// ---- Searching and comparing ----

int FindText(const Text& subject, const Text& needle, std::optional<int> start, bool ignore_case) {
    const std::size_t from = (start && *start > 1) ? static_cast<std::size_t>(*start) - 1 : 0;
    if (from >= subject.size()) return -1;
    if (needle.empty()) return 1;
    const std::size_t at = FindFrom(subject.view(), from, needle.view(), ignore_case);
    return at == kNotFound ? -1 : ToInt(at + 1);
}

int CompareText(const Text& first, const Text& second, std::optional<bool> case_sensitive) {
    const bool exact = case_sensitive.value_or(true);
    const uchar* a = Data(first.view());
    const uchar* b = Data(second.view());
    const std::size_t common = std::min(first.size(), second.size());
    for (std::size_t i = 0; i < common; ++i) {
        const uchar x = exact ? a[i] : FoldAscii(a[i]);
        const uchar y = exact ? b[i] : FoldAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (first.size() == second.size()) return 0;
    return first.size() < second.size() ? -1 : 1;
}

// ---- Rewriting and building ----

Text TrimText(const Text& text) {
    const uchar* p = Data(text.view());
    const std::size_t n = text.size();
    auto blank_length = [&](std::size_t i) -> std::size_t {
        if (p[i] == 0x20) return 1;
        if (p[i] == 0xA1 && i + 1 < n && p[i + 1] == 0xA1) return 2;  // full-width space
        return 0;
    };
    std::size_t begin = 0;
    while (begin < n) {
        const std::size_t k = blank_length(begin);
        if (k == 0) break;
        begin += k;
    }
    std::size_t end = begin;
    for (std::size_t i = begin; i < n;) {
        const std::size_t k = CharLength(p, i, n);
        if (blank_length(i) == 0) end = i + k;
        i += k;
    }
    return Text(text.view().substr(begin, end - begin));
}

Text ReplaceSubtext(const Text& text, const Text& find, std::optional<Text> replacement,
                    std::optional<int> start, std::optional<int> count, bool case_sensitive) {
    const std::size_t from = (start && *start > 1) ? static_cast<std::size_t>(*start) - 1 : 0;
    const bool all = !count || *count < 0;
    if (text.empty() || find.empty() || from >= text.size() || (!all && *count == 0)) return text;

    const std::string_view src = text.view();
    const std::string_view with = replacement ? replacement->view() : std::string_view{};
    std::string out;
    out.reserve(src.size());
    out.append(src.substr(0, from));
    std::size_t pos = from;
    long long done = 0;
    while (all || done < *count) {
        // Character starts are counted afresh after each replacement, exactly as a scan that
        // steps character by character and jumps over every match would see them.
        const std::size_t at = FindFrom(src, pos, find.view(), !case_sensitive);
        if (at == kNotFound) break;
        out.append(src.substr(pos, at - pos));
        out.append(with);
        pos = at + find.size();
        ++done;
    }
    out.append(src.substr(pos));
    return Text(std::move(out));
}

Text ReplaceRange(const Text& text, int start, int length, std::optional<Text> replacement) {
    const std::string_view src = text.view();
    const long long n = static_cast<long long>(src.size());
    const auto c = static_cast<std::size_t>(std::clamp(static_cast<long long>(start) - 1, 0LL, n));
    std::size_t removed = 0;
    if (length > 0) removed = std::min(static_cast<std::size_t>(length), src.size() - c);
    std::string out;
    out.reserve(src.size() - removed + (replacement ? replacement->size() : 0));
    out.append(src.substr(0, c));
    if (replacement) out.append(replacement->view());
    out.append(src.substr(c + removed));
    return Text(std::move(out));
}

Text ToLowerText(const Text& text) {
    std::string out = text.str();
    const std::size_t n = out.size();
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<uchar>(out[i]);
        if (b >= 0x80) {
            i += 2;  // both bytes of a two-byte character stay as they are
        } else {
            out[i] = static_cast<char>(FoldAscii(b));
            ++i;
        }
    }
    return Text(std::move(out));
}

Text BlankText(int n) {
    if (n <= 0) return {};
    try {
        return Text(std::string(static_cast<std::size_t>(n), ' '));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text CharFromCode(int code) {
    if (code <= 0 || code > 255) return {};
    return Text(std::string(1, static_cast<char>(code)));
}

// ---- Numbers and text ----

namespace {

// Reads a text byte by byte with full-width forms folded to their ASCII bytes (0xA3 x becomes
// x - 0x80, the full-width space 0xA1 0xA1 a space); every other character passes unchanged.
class FoldedReader {
  public:
    explicit FoldedReader(std::string_view s) : p_(Data(s)), n_(s.size()) { Load(); }

    bool AtEnd() const noexcept { return i_ >= n_; }
    uchar Peek() const noexcept { return current_; }
    void Next() noexcept {
        i_ += step_;
        Load();
    }

  private:
    void Load() noexcept {
        if (i_ >= n_) {
            current_ = 0;
            step_ = 0;
            return;
        }
        const uchar b = p_[i_];
        if (i_ + 1 < n_ && b == 0xA3 && p_[i_ + 1] >= 0xA1 && p_[i_ + 1] <= 0xFE) {
            current_ = static_cast<uchar>(p_[i_ + 1] - 0x80);
            step_ = 2;
        } else if (i_ + 1 < n_ && b == 0xA1 && p_[i_ + 1] == 0xA1) {
            current_ = 0x20;
            step_ = 2;
        } else if (b >= 0x80 && i_ + 1 < n_) {
            // Another two-byte character: its lead byte is not a digit, sign, point or blank,
            // so every reader stops at it and its second byte is never looked at.
            current_ = b;
            step_ = 2;
        } else {
            current_ = b;
            step_ = 1;
        }
    }

    const uchar* p_;
    std::size_t n_;
    std::size_t i_ = 0;
    std::size_t step_ = 0;
    uchar current_ = 0;
};

bool IsDigit(uchar b) noexcept { return b >= '0' && b <= '9'; }

void SkipWhiteSpace(FoldedReader& r) {
    while (!r.AtEnd() && (r.Peek() == 0x20 || (r.Peek() >= 0x09 && r.Peek() <= 0x0D))) r.Next();
}

}  // namespace

std::int32_t TextToInt(const Text& text) {
    FoldedReader r(text.view());
    SkipWhiteSpace(r);
    bool negative = false;
    if (!r.AtEnd() && (r.Peek() == '+' || r.Peek() == '-')) {
        negative = r.Peek() == '-';
        r.Next();
    }
    // Unsigned arithmetic wraps modulo 2^32 by definition, as the two's-complement reading wants.
    std::uint32_t value = 0;
    while (!r.AtEnd() && IsDigit(r.Peek())) {
        value = value * 10u + static_cast<std::uint32_t>(r.Peek() - '0');
        r.Next();
    }
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

double TextToNumber(const Text& text) {
    FoldedReader r(text.view());
    SkipWhiteSpace(r);
    std::string number;
    bool negative = false;
    if (!r.AtEnd() && (r.Peek() == '+' || r.Peek() == '-')) {
        negative = r.Peek() == '-';
        r.Next();
    }
    // Decimal magnitude of the first significant digit, to tell overflow from underflow.
    long long magnitude = 0;
    bool significant = false;
    std::size_t mantissa_digits = 0;
    while (!r.AtEnd() && IsDigit(r.Peek())) {
        if (r.Peek() != '0') significant = true;
        if (significant) ++magnitude;
        number.push_back(static_cast<char>(r.Peek()));
        ++mantissa_digits;
        r.Next();
    }
    if (!r.AtEnd() && r.Peek() == '.') {
        number.push_back('.');
        r.Next();
        while (!r.AtEnd() && IsDigit(r.Peek())) {
            if (!significant) {
                if (r.Peek() != '0')
                    significant = true;
                else
                    --magnitude;
            }
            number.push_back(static_cast<char>(r.Peek()));
            ++mantissa_digits;
            r.Next();
        }
    }
    if (mantissa_digits == 0) return 0.0;

    // The exponent counts only when at least one digit follows its letter and sign.
    long long exponent = 0;
    if (!r.AtEnd()) {
        const uchar letter = r.Peek();
        if (letter == 'e' || letter == 'E' || letter == 'd' || letter == 'D') {
            std::string tail = "e";
            FoldedReader look = r;
            look.Next();
            bool exponent_negative = false;
            if (!look.AtEnd() && (look.Peek() == '+' || look.Peek() == '-')) {
                exponent_negative = look.Peek() == '-';
                tail.push_back(static_cast<char>(look.Peek()));
                look.Next();
            }
            bool any = false;
            while (!look.AtEnd() && IsDigit(look.Peek())) {
                any = true;
                tail.push_back(static_cast<char>(look.Peek()));
                if (exponent < 1'000'000'000LL) exponent = exponent * 10 + (look.Peek() - '0');
                look.Next();
            }
            if (any) {
                number += tail;
                if (exponent_negative) exponent = -exponent;
            }
        }
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        value = significant && magnitude + exponent > 0 ? HUGE_VAL : 0.0;
    } else if (ec != std::errc{}) {
        value = 0.0;
    }
    return negative ? -value : value;
}

Text NumberToText(std::int32_t value) {
    char buf[16];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    return Text(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

Text NumberToText(double value) {
    // Same digits as printf's "%.13g", but independent of the process locale.
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 13);
    if (ec != std::errc{}) return {};
    return Text(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

Text NumberToText(bool value) {
    return value ? Text("\xd5\xe6")   // 真
                 : Text("\xbc\xd9");  // 假
}

Text ToHexText(std::int32_t value) {
    char buf[16];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(value), 16);
    (void)ec;
    for (char* p = buf; p != end; ++p) *p = static_cast<char>(UpperAscii(static_cast<uchar>(*p)));
    return Text(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

// ---- Bytes ----

Bytes TextToBytes(const Text& text) { return Bytes(text.view()); }

Text BytesToText(const Bytes& bytes) { return Text(bytes.view()); }

int BytesLength(const Bytes& bytes) { return ToInt(bytes.size()); }

Bytes BytesLeft(const Bytes& bytes, int n) {
    if (n <= 0) return {};
    return Bytes(bytes.view().substr(0, static_cast<std::size_t>(n)));
}

Bytes BlankBytes(int n) {
    if (n <= 0) return {};
    try {
        return Bytes(std::string(static_cast<std::size_t>(n), '\0'));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// ---- Clock ----

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) noexcept {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr double kMinDays = -657434.0;
constexpr double kMaxDays = 2958465.0;
constexpr long long kEpochOffsetDays = 25569;  // 1899-12-30 to 1970-01-01

// Seconds into the day of a date value rounded to the nearest whole second.
int SecondsOfDay(DateTime time) noexcept {
    double v = time.days;
    if (std::isnan(v)) v = 0.0;
    v = std::clamp(v, kMinDays, kMaxDays);
    const double half_second = 0.5 / 86400.0;
    v = v > 0 ? v + half_second : v - half_second;
    const double a = std::fabs(v);
    const double f = a - std::floor(a);
    const double t = std::floor(f * 86400.0);
    return std::clamp(static_cast<int>(t), 0, 86399);
}

}  // namespace

DateTime Now() {
    const std::time_t now = std::chrono::system_clock::to_time_t(
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return {};
    const long long days = DaysFromCivil(static_cast<long long>(local.tm_year) + 1900,
                                         static_cast<unsigned>(local.tm_mon + 1),
                                         static_cast<unsigned>(local.tm_mday)) +
                           kEpochOffsetDays;
    const double fraction = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
    // Before the base date the whole days count down while the time of day still counts up.
    const double value =
        days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
    return DateTime{value};
}

int HourOf(DateTime time) { return SecondsOfDay(time) / 3600; }
int MinuteOf(DateTime time) { return SecondsOfDay(time) / 60 % 60; }
int SecondOf(DateTime time) { return SecondsOfDay(time) % 60; }

std::int32_t UptimeMs() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

// ---- Per-thread hooks ----

namespace {
thread_local std::function<void()> process_events_hook;
thread_local std::function<bool()> work_cancelled_hook;
}  // namespace

void ProcessEvents() {
    if (process_events_hook) process_events_hook();
}

void SetProcessEventsHook(std::function<void()> hook) { process_events_hook = std::move(hook); }

bool WorkCancelled() { return work_cancelled_hook ? work_cancelled_hook() : false; }

void SetWorkCancelledHook(std::function<bool()> hook) { work_cancelled_hook = std::move(hook); }

}  // namespace qelvanto
