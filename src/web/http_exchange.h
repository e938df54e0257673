#pragma once

// One HTTP request and its response. The request travels to the exchange as a seven-slot
// request block in a MemoryStream, and the answer comes back in the same block through the
// same stream (see RequestSlot). The exchange runs on a request thread of its own; another
// thread may call it off through an ExchangeControl.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "text/memory_stream.h"
#include "text/text.h"

namespace qelvanto {

// The slots of a request block, and what each holds on the way in / on the way back.
namespace RequestSlot {
inline constexpr std::size_t kUrl = 0;        // URL / response body
inline constexpr std::size_t kMethod = 1;     // "GET" or "POST" / cookie text from Set-Cookie lines
inline constexpr std::size_t kProxy = 2;      // proxy host:port, empty for none / unchanged
inline constexpr std::size_t kHeaders = 3;    // extra header lines / unchanged
inline constexpr std::size_t kBody = 4;       // POST body / unchanged
inline constexpr std::size_t kCookies = 5;    // cookie text to send / raw response headers
inline constexpr std::size_t kRedirects = 6;  // "真" when redirects may be followed
inline constexpr std::size_t kCount = 7;
}  // namespace RequestSlot

using RequestBlock = std::vector<Bytes>;

// Lets one thread call off an exchange that runs on another. Cancel() may come at any moment;
// the exchange notices at once and ends by itself.
class ExchangeControl {
public:
    void Cancel();
    bool Cancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }

    // For the exchange: while attached, Cancel() calls `wake` (under the control's lock) to
    // interrupt a wait. Attach returns false when the exchange was cancelled already.
    bool Attach(std::function<void()> wake);
    void Detach();

private:
    std::mutex mutex_;
    std::atomic<bool> cancelled_{false};
    std::function<void()> wake_;
};

// Reads the request block from the start of `stream`, performs the request and writes the
// block back from the start of the stream. Does nothing when the block cannot be read.
void HttpExchange(StreamHandle stream);
void HttpExchange(StreamHandle stream, ExchangeControl& control);

// The request as it goes out, worked out from the block's texts.
struct OutgoingRequest {
    enum class Method { kGet, kPost, kNone };

    bool https = false;
    Text host;
    Text path;
    std::int32_t port = 0;
    Text user_agent;
    // The caller's header lines followed by the default lines and the Cookie line.
    Text header_text;
    Method method = Method::kNone;
    bool use_cookie_store = true;  // false when the caller gives cookies of its own
    bool follow_redirects = true;
};

OutgoingRequest PrepareRequest(const Text& url, const Text& method, const Text& header_text,
                               const Bytes& body, const Text& cookie_text, bool redirects_allowed);

// The cookie text built from the Set-Cookie lines of raw response headers ('a=1;b=2;'), and
// each cookie as its name and its data (everything after the "=", attributes included).
struct CollectedCookies {
    Text text;
    std::vector<std::pair<Text, Text>> cookies;
};

CollectedCookies CollectCookies(const Text& raw_headers);

// A response body is read up to this many bytes; the rest is not taken.
inline constexpr std::size_t kMaxResponseBytes = std::size_t{64} << 20;

}  // namespace qelvanto
