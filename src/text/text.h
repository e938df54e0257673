#pragma once

// The tool's own text, byte and clock primitives.
//
// Text holds code-page-936 bytes (GBK, with GB18030 four-byte sequences for characters GBK
// lacks) and never a NUL byte; positions are 1-based byte positions, and a search that finds
// nothing gives -1. Bytes may hold anything. Every function returns a fresh value and leaves
// its arguments alone; out-of-range arguments give empty or clamped results, never a crash.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qelvanto {

class Text {
public:
    Text() = default;
    // A NUL-terminated literal or C string; a null pointer is the empty text.
    Text(const char* s) : bytes_(s ? s : "") {}  // NOLINT(google-explicit-constructor)
    // Takes the bytes in front of the first NUL, if there is one.
    explicit Text(std::string_view bytes) : bytes_(bytes.substr(0, bytes.find('\0'))) {}
    explicit Text(std::string&& bytes) : bytes_(std::move(bytes)) {
        if (auto nul = bytes_.find('\0'); nul != std::string::npos) bytes_.resize(nul);
    }

    const std::string& str() const noexcept { return bytes_; }
    std::string_view view() const noexcept { return bytes_; }
    const char* c_str() const noexcept { return bytes_.c_str(); }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }
    unsigned char operator[](std::size_t i) const noexcept {
        return static_cast<unsigned char>(bytes_[i]);
    }

    friend bool operator==(const Text&, const Text&) = default;

private:
    std::string bytes_;
};

class Bytes {
public:
    Bytes() = default;
    explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
    explicit Bytes(std::string&& bytes) noexcept : bytes_(std::move(bytes)) {}

    const std::string& str() const noexcept { return bytes_; }
    std::string& str() noexcept { return bytes_; }
    std::string_view view() const noexcept { return bytes_; }
    const char* data() const noexcept { return bytes_.data(); }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }

    friend bool operator==(const Bytes&, const Bytes&) = default;

private:
    std::string bytes_;
};

// A local date and time: days since 1899-12-30 00:00, the fraction being the time of day.
struct DateTime {
    double days = 0.0;
};

// Measuring and cutting (byte based).
int TextLength(const Text& text);
Text TextLeft(const Text& text, int n);
Text TextRight(const Text& text, int n);
Text TextMid(const Text& text, int start, int n);

// Searching and comparing.
int FindText(const Text& subject, const Text& needle, std::optional<int> start = std::nullopt,
             bool ignore_case = false);
int CompareText(const Text& first, const Text& second, std::optional<bool> case_sensitive = {});

// Rewriting and building.
Text TrimText(const Text& text);
Text ReplaceSubtext(const Text& text, const Text& find, std::optional<Text> replacement = {},
                    std::optional<int> start = {}, std::optional<int> count = {},
                    bool case_sensitive = false);
Text ReplaceRange(const Text& text, int start, int length,
                  std::optional<Text> replacement = std::nullopt);
Text ToLowerText(const Text& text);
template <typename... More>
Text ConcatText(const Text& first, const More&... more);
Text BlankText(int n);
Text CharFromCode(int code);

// Numbers and text.
std::int32_t TextToInt(const Text& text);
double TextToNumber(const Text& text);
Text NumberToText(std::int32_t value);
Text NumberToText(double value);
Text NumberToText(bool value);
Text ToHexText(std::int32_t value);

// Bytes.
Bytes TextToBytes(const Text& text);
Text BytesToText(const Bytes& bytes);
int BytesLength(const Bytes& bytes);
Bytes BytesLeft(const Bytes& bytes, int n);
Bytes BlankBytes(int n);
template <typename... More>
Bytes ConcatBytes(const Bytes& first, const More&... more);

// Clock.
DateTime Now();
int HourOf(DateTime time);
int MinuteOf(DateTime time);
int SecondOf(DateTime time);
// Milliseconds from a steady clock, wrapping like a 32-bit tick count.
std::int32_t UptimeMs();

// Lets the calling thread handle what is waiting for it. Each thread has its own hook; a
// thread without one does nothing. The window layer installs QCoreApplication::processEvents
// on threads that run an event loop.
void ProcessEvents();
void SetProcessEventsHook(std::function<void()> hook);

// Whether the calling thread's current work has been called off (a stopped harvest). Each
// thread has its own hook; without one the answer is false. Long waits, such as a fetch,
// ask it on every pass and give up at once when it says yes.
bool WorkCancelled();
void SetWorkCancelledHook(std::function<bool()> hook);

namespace detail {
inline std::string_view Piece(const Text& text) { return text.view(); }
inline std::string_view Piece(const char* text) { return text ? std::string_view(text) : std::string_view(); }
}  // namespace detail

// The pieces may be Text or NUL-terminated constants.
template <typename... More>
Text ConcatText(const Text& first, const More&... more) {
    std::string out;
    out.reserve(first.size() + (std::size_t{0} + ... + detail::Piece(more).size()));
    out += first.str();
    (out.append(detail::Piece(more)), ...);
    return Text(std::move(out));
}

template <typename... More>
Bytes ConcatBytes(const Bytes& first, const More&... more) {
    std::string out;
    out.reserve(first.size() + (std::size_t{0} + ... + more.size()));
    out += first.str();
    (out.append(more.str()), ...);
    return Bytes(std::move(out));
}

}  // namespace qelvanto
