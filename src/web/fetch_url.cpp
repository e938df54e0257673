#include "web/fetch_url.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "text/codepage.h"
#include "text/memory_stream.h"
#include "web/curl_handles.h"
#include "web/http_exchange.h"

namespace qelvanto {
namespace {

// "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。"
// in code page 936.
constexpr char kTimeoutMessage[] =
    "\xb3\xac\xca\xb1\xb7\xb5\xbb\xd8\xa3\xac\xd6\xb8\xb6\xa8\xcd\xf8\xd5\xbe\xb2\xbb\xc4\xdc"
    "\xb7\xc3\xce\xca\xa3\xac\xbb\xf2\xd5\xdf\xc4\xe3\xb5\xc4\xcd\xf8\xc2\xe7\xb3\xf6\xcf\xd6"
    "\xce\xca\xcc\xe2\xa3\xac\xc4\xe3\xbf\xc9\xd2\xd4\xb0\xd1\xb2\xce\xca\xfd\xd6\xd0\xb5\xc4"
    "\xa3\xa2\xb3\xac\xca\xb1\xb7\xb5\xbb\xd8\xa3\xa2\xb5\xc4\xd6\xb5\xc9\xe8\xd6\xc3\xb3\xa4"
    "\xd2\xbb\xd0\xa9\xa1\xa3";

constexpr double kDefaultWaitMs = 60000.0;
// The longest single wait, so that pausing and stopping the run take effect promptly.
constexpr double kSliceMs = 20.0;
constexpr double kTolerance = 1e-7;

// Everything the request thread touches, shared with the caller. An abandoned exchange keeps
// it alive until it has finished writing; the stream closes with the last owner.
struct FetchState {
    explicit FetchState(StreamHandle s) : stream(s) {}
    ~FetchState() { MemoryStream::Close(stream); }
    FetchState(const FetchState&) = delete;
    FetchState& operator=(const FetchState&) = delete;

    const StreamHandle stream;
    ExchangeControl control;
    std::mutex mutex;
    std::condition_variable finished_cv;
    bool finished = false;
};

// Request threads whose fetch gave up on them. They have been called off and end within
// moments; they are joined the next time one is handed over, and at process exit.
class Reaper {
public:
    static Reaper& Instance() {
        static Reaper reaper;
        return reaper;
    }

    void Adopt(std::thread thread, std::shared_ptr<FetchState> state) {
        std::lock_guard lock(mutex_);
        std::erase_if(abandoned_, [](Abandoned& a) {
            std::lock_guard state_lock(a.state->mutex);
            if (!a.state->finished) return false;
            a.thread.join();  // it is past its last use of the state
            return true;
        });
        abandoned_.push_back({std::move(thread), std::move(state)});
    }

    ~Reaper() {
        std::lock_guard lock(mutex_);
        for (auto& a : abandoned_) a.state->control.Cancel();
        for (auto& a : abandoned_) a.thread.join();
    }

private:
    struct Abandoned {
        std::thread thread;
        std::shared_ptr<FetchState> state;
    };

    Reaper() = default;
    std::mutex mutex_;
    std::vector<Abandoned> abandoned_;
};

// Milliseconds since `start`, across a wrap of the 32-bit tick count.
double ElapsedMs(std::int32_t start) {
    return static_cast<double>(static_cast<std::uint32_t>(UptimeMs()) - static_cast<std::uint32_t>(start));
}

}  // namespace

void PrepareWebAccess() { (void)web::CurlRuntime::Get(); }

Bytes FetchTimeoutMessage() { return Bytes(std::string_view(kTimeoutMessage, sizeof kTimeoutMessage - 1)); }

Bytes FetchUrl(Text& url, std::optional<std::int32_t> method, std::optional<Text> proxy,
               std::optional<Text> header_text, std::optional<Bytes> post_body, std::optional<Text> cookie_text,
               std::optional<std::int32_t> time_limit_seconds, Text* received_headers,
               std::optional<std::int32_t> conversion, Text* received_cookies,
               std::optional<bool> redirects_allowed) {
    if (TrimText(url).empty()) return {};
    if (TextLeft(url, 7).view() != "http://" && TextLeft(url, 8).view() != "https://") {
        url = ConcatText(Text("http://"), url);
    }

    RequestBlock block(RequestSlot::kCount);
    block[RequestSlot::kUrl] = TextToBytes(url);
    block[RequestSlot::kMethod] = TextToBytes(method.value_or(0) == 1 ? Text("POST") : Text("GET"));
    block[RequestSlot::kProxy] = TextToBytes(proxy.value_or(Text()));
    block[RequestSlot::kHeaders] = TextToBytes(header_text.value_or(Text()));
    block[RequestSlot::kBody] = post_body.value_or(Bytes());
    block[RequestSlot::kCookies] = TextToBytes(cookie_text.value_or(Text()));
    block[RequestSlot::kRedirects] = TextToBytes(NumberToText(redirects_allowed.value_or(true)));

    auto state = std::make_shared<FetchState>(MemoryStream::Open());
    if (!MemoryStream::WriteData(state->stream, block)) return {};
    // Built after the stream registry, so at exit it is destroyed (joining what it holds)
    // while the registry still exists.
    Reaper& reaper = Reaper::Instance();

    std::thread request_thread;
    try {
        request_thread = std::thread([state] {
            HttpExchange(state->stream, state->control);
            std::lock_guard lock(state->mutex);
            state->finished = true;
            state->finished_cv.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread: nothing finishes, and the wait below runs into the time limit.
    }
    const std::int32_t start = UptimeMs();
    const double wait_ms = time_limit_seconds ? static_cast<double>(*time_limit_seconds) * 1000.0 : kDefaultWaitMs;

    enum class End { kFinished, kTimedOut, kCancelled } end;
    for (;;) {
        bool finished;
        {
            const double slice = std::clamp(wait_ms - ElapsedMs(start), 0.0, kSliceMs);
            std::unique_lock lock(state->mutex);
            finished = state->finished_cv.wait_for(
                lock, std::chrono::milliseconds(static_cast<long>(std::ceil(slice))),
                [&] { return state->finished; });
        }
        ProcessEvents();
        // The limit counts from the start, and a request that finishes in the pass that
        // reaches it counts as timed out. Measured after ProcessEvents(), so that a run paused
        // in there past the limit gets the time-out message, even if the answer has come.
        const bool timed_out = ElapsedMs(start) - wait_ms >= -kTolerance;
        if (WorkCancelled()) {
            end = End::kCancelled;
            break;
        }
        if (timed_out) {
            end = End::kTimedOut;
            break;
        }
        if (finished) {
            end = End::kFinished;
            break;
        }
    }

    if (end != End::kFinished) {
        state->control.Cancel();
        if (request_thread.joinable()) reaper.Adopt(std::move(request_thread), state);
        return end == End::kTimedOut ? FetchTimeoutMessage() : Bytes();
    }
    request_thread.join();

    RequestBlock answer(RequestSlot::kCount);
    if (!MemoryStream::SeekToStart(state->stream) || !MemoryStream::ReadData(state->stream, answer)) return {};
    // The request thread is gone, so this is the last owner: closing the stream now frees its
    // copy of the body before the body is converted.
    state.reset();
    if (received_headers) *received_headers = BytesToText(answer[RequestSlot::kCookies]);
    if (received_cookies) *received_cookies = BytesToText(answer[RequestSlot::kMethod]);
    // The body is moved into the conversion and the result copied out once, so a body at the
    // cap is not held three or four times over.
    std::string& body = answer[RequestSlot::kUrl].str();
    switch (conversion.value_or(0)) {
        case 1: {
            const Text converted = Utf8ToAnsi(Text(std::move(body)));
            return TextToBytes(converted);
        }
        case 2: {
            const Text converted = Big5ToSimplified(Text(std::move(body)));
            return TextToBytes(converted);
        }
        default:
            return std::move(answer[RequestSlot::kUrl]);
    }
}

}  // namespace qelvanto
