#include "web/http_exchange.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "text/delimited.h"
#include "web/curl_handles.h"
#include "web/url.h"

namespace qelvanto {
namespace {

constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";
constexpr const char* kDefaultAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr const char* kDefaultAcceptLanguage = "Accept-Language: zh-cn\r\n";
constexpr const char* kDefaultContentType = "Content-Type: application/x-www-form-urlencoded\r\n";
// "真", the text of true.
constexpr std::string_view kTrueText = "\xd5\xe6";
constexpr long kMaxRedirects = 20;
constexpr long kPollMs = 1000;

bool Present(const Text& text, const char* needle) { return FindText(text, needle, 1, true) != -1; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IsBlank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

// Header lines for libcurl. libcurl drops a line "Name:" with nothing after the colon (that
// form removes one of its own headers) and sends "Name;" as "Name:", so blank lines of ours
// are written that way. Then every header libcurl would add by itself and that the request
// does not carry is switched off, so the lines on the wire are the request's own (plus Host
// and, unless the text names one, the User-Agent).
struct CurlHeaders {
    web::HeaderList list;
    bool has_user_agent = false;
    bool ok = true;
};

CurlHeaders ToCurlHeaders(const Text& header_text, bool post) {
    CurlHeaders out;
    bool has_accept = false, has_expect = false, has_type = false, has_length = false,
         has_proxy_connection = false;
    std::string_view rest = header_text.view();
    while (!rest.empty() && out.ok) {
        const auto end = rest.find("\r\n");
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
        if (line.empty()) continue;
        std::string entry(line);
        if (const auto colon = line.find(':'); colon != std::string_view::npos) {
            const std::string_view name = line.substr(0, colon);
            has_accept |= SameNameIgnoringCase(name, "Accept");
            has_expect |= SameNameIgnoringCase(name, "Expect");
            has_type |= SameNameIgnoringCase(name, "Content-Type");
            has_length |= SameNameIgnoringCase(name, "Content-Length");
            has_proxy_connection |= SameNameIgnoringCase(name, "Proxy-Connection");
            out.has_user_agent |= SameNameIgnoringCase(name, "User-Agent");
            if (IsBlank(line.substr(colon + 1))) entry = std::string(name) + ";";
        }
        out.ok = web::AppendHeader(out.list, entry.c_str());
    }
    if (!has_accept) out.ok = out.ok && web::AppendHeader(out.list, "Accept:");
    if (!has_expect) out.ok = out.ok && web::AppendHeader(out.list, "Expect:");
    if (!has_proxy_connection) out.ok = out.ok && web::AppendHeader(out.list, "Proxy-Connection:");
    if (post && !has_type) out.ok = out.ok && web::AppendHeader(out.list, "Content-Type:");
    if (post && !has_length) out.ok = out.ok && web::AppendHeader(out.list, "Content-Length:");
    return out;
}

// What libcurl's callbacks fill in during one transfer.
struct Received {
    std::string body;
    std::string headers;
    ExchangeControl* control = nullptr;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& received = *static_cast<Received*>(user);
    const std::size_t length = size * count;
    try {
        std::string& body = received.body;
        const std::size_t room = kMaxResponseBytes - body.size();
        const std::size_t wanted = body.size() + std::min(length, room);
        if (wanted > body.capacity()) {
            // Grow by doubling, but go straight to the cap once doubling would pass half of it:
            // each move to a bigger buffer briefly holds the body twice, and the last one would
            // otherwise come at nearly the full cap.
            std::size_t grown = std::max(wanted, 2 * body.capacity());
            if (grown > kMaxResponseBytes / 2) grown = kMaxResponseBytes;
            body.reserve(grown);
        }
        if (length > room) {
            received.body.append(data, room);
            return 0;  // past the cap: stop the transfer and keep what fits
        }
        received.body.append(data, length);
        return length;
    } catch (const std::exception&) {
        return 0;
    }
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& received = *static_cast<Received*>(user);
    const std::size_t length = size * count;
    try {
        const std::string_view line(data, length);
        // Interim responses, redirects followed and proxy answers each start with a status
        // line; only the final response's headers are kept.
        if (line.starts_with("HTTP/")) received.headers.clear();
        if (received.headers.size() + length > kMaxResponseBytes) return 0;
        received.headers.append(line);
        return length;
    } catch (const std::exception&) {
        return 0;
    }
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    const auto& received = *static_cast<Received*>(user);
    return received.control->Cancelled() ? 1 : 0;
}

std::string CurlUrl(const OutgoingRequest& request) {
    std::string url = request.https ? "https://" : "http://";
    url += request.host.str();
    if (request.port != 0) url += ":" + std::to_string(request.port);
    url += request.path.str();
    return url;
}

std::string ProxyUrl(const Text& proxy) {
    if (proxy.view().find("://") != std::string_view::npos) return proxy.str();
    return "http://" + proxy.str();
}

// Stores cookies in the process-wide store for `host`, the way a Set-Cookie line from that
// host would be stored, for requests that ran with the store switched off.
void StoreCookies(CURL* easy, CURLSH* cookie_share, const Text& host,
                  const std::vector<std::pair<Text, Text>>& cookies) {
    if (host.empty() || cookies.empty()) return;
    if (curl_easy_setopt(easy, CURLOPT_SHARE, cookie_share) != CURLE_OK) return;
    for (const auto& [raw_name, data] : cookies) {
        const Text name = TrimText(raw_name);
        const std::string_view value_all = data.view();
        const std::string value(TrimText(Text(value_all.substr(0, value_all.find(';')))).view());
        if (name.empty() || name[0] == '#' || name.view().find('\t') != std::string_view::npos ||
            value.find('\t') != std::string::npos) {
            continue;  // not expressible as a cookie-file line
        }
        // Netscape cookie-file line: host only, path "/", not secure, session cookie.
        const std::string line =
            host.str() + "\tFALSE\t/\tFALSE\t0\t" + name.str() + "\t" + value;
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    }
}

struct Outcome {
    std::string body;
    std::string headers;
};

// Performs the request on a transfer slot borrowed from the process-wide pool; the slot goes
// back afterwards (with its connection, when the server kept it open) unless the exchange was
// called off, in which case it is freed here.
Outcome Transfer(const OutgoingRequest& request, const Text& proxy, const Bytes& body,
                 ExchangeControl& control, web::CurlRuntime& runtime) {
    Outcome outcome;
    if (request.method == OutgoingRequest::Method::kNone) return outcome;
    if (request.port < 0 || request.port > 65535 || request.host.empty()) return outcome;
    const bool post = request.method == OutgoingRequest::Method::kPost;
    CurlHeaders headers = ToCurlHeaders(request.header_text, post);
    if (!headers.ok) return outcome;
    std::optional<web::TransferSlot> slot = runtime.Borrow();
    if (!slot) return outcome;
    CURL* easy = slot->easy.get();
    CURLM* multi = slot->multi.get();

    Received received;
    received.control = &control;
    const std::string url = CurlUrl(request);
    const std::string proxy_url = (!proxy.empty() && !request.https) ? ProxyUrl(proxy) : std::string();

    curl_easy_reset(easy);
    bool ok = curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    // An abandoned transfer must not wait for a hung name lookup on its way out.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
#endif
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.follow_redirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    // An empty proxy and no-proxy list keep the environment's proxy variables out.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy_url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    ok = ok && curl_easy_setopt(easy, CURLOPT_SHARE, request.use_cookie_store ? runtime.cookie_share()
                                                                                : runtime.plain_share()) == CURLE_OK;
    if (request.use_cookie_store) curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    if (!headers.has_user_agent && !request.user_agent.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERAGENT, request.user_agent.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list.get());
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &received);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &received);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    if (post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }

    if (ok && curl_multi_add_handle(multi, easy) == CURLM_OK) {
        // Cancel() wakes the poll below at once instead of at its next timeout.
        if (control.Attach([multi] { curl_multi_wakeup(multi); })) {
            int running = 1;
            CURLMcode code = CURLM_OK;
            while (code == CURLM_OK) {
                code = curl_multi_perform(multi, &running);
                if (code != CURLM_OK || running == 0 || control.Cancelled()) break;
                code = curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
            }
            control.Detach();
        }
        curl_multi_remove_handle(multi, easy);
    }

    if (!request.use_cookie_store && !received.headers.empty()) {
        const char* effective = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        const CollectedCookies collected = CollectCookies(Text(received.headers));
        StoreCookies(easy, runtime.cookie_share(), UrlHost(Text(effective ? effective : url.c_str())),
                     collected.cookies);
    }
    // curl_easy_reset keeps (and loses) the list of cookie files, so clear it first. The
    // handle is on the cookie share here, whose store that leaves alone.
    if (request.use_cookie_store) curl_easy_setopt(easy, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
    // Nothing may keep pointers into this frame once the slot is idle.
    curl_easy_reset(easy);
    if (!control.Cancelled()) runtime.GiveBack(std::move(*slot));

    outcome.body = std::move(received.body);
    outcome.headers = std::move(received.headers);
    return outcome;
}

}  // namespace

void ExchangeControl::Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_.store(true, std::memory_order_release);
    if (wake_) wake_();
}

bool ExchangeControl::Attach(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    if (cancelled_.load(std::memory_order_relaxed)) return false;
    wake_ = std::move(wake);
    return true;
}

void ExchangeControl::Detach() {
    std::lock_guard lock(mutex_);
    wake_ = nullptr;
}

OutgoingRequest PrepareRequest(const Text& url, const Text& method, const Text& header_text,
                               const Bytes& body, const Text& cookie_text, bool redirects_allowed) {
    OutgoingRequest out;
    out.https = FindText(ToLowerText(url), "https://", 1, false) != -1;
    out.host = UrlHost(url);
    out.path = UrlPath(url);
    out.port = out.https ? 443 : UrlPort(url);
    Text headers = header_text;
    out.user_agent = Present(headers, "User-Agent:")
                         ? TrimText(TextBetween(headers, "User-Agent:", "\r\n"))
                         : Text(kDefaultUserAgent);
    out.use_cookie_store = TrimText(cookie_text).empty();
    out.follow_redirects = redirects_allowed;

    if (!Present(headers, "Accept")) headers = ConcatText(headers, Text(kDefaultAccept));
    if (Present(headers, "RefererNo")) {
        headers = ReplaceSubtext(headers, "RefererNo", Text(), 1, 1, true);
    } else if (!Present(headers, "Referer")) {
        headers = ConcatText(headers, Text("Referer: "), url, Text("\r\n"));
    }
    if (!Present(headers, "Accept-Language")) headers = ConcatText(headers, Text(kDefaultAcceptLanguage));

    const Text cookie_line =
        cookie_text.empty() ? Text() : ConcatText(Text("Cookie: "), cookie_text, Text("\r\n\r\n"));
    if (method.str() == "GET") {
        out.method = OutgoingRequest::Method::kGet;
        headers = ConcatText(headers, cookie_line);
    } else if (method.str() == "POST") {
        out.method = OutgoingRequest::Method::kPost;
        if (!body.empty()) {
            if (!Present(headers, "Content-Type")) headers = ConcatText(headers, Text(kDefaultContentType));
            if (!Present(headers, "Content-Length")) {
                headers = ConcatText(headers, Text("Content-Length: "), Text(std::to_string(body.size())),
                                     Text("\r\n"));
            }
        }
        headers = ConcatText(headers, cookie_line);
    }
    out.header_text = headers;
    return out;
}

CollectedCookies CollectCookies(const Text& raw_headers) {
    CollectedCookies out;
    if (!Present(raw_headers, "Set-Cookie: ")) return out;
    const StreamHandle lines = MemoryStream::Open();
    MemoryStream::WriteText(lines, raw_headers);
    MemoryStream::SeekToStart(lines);
    std::string text;
    while (!MemoryStream::AtEnd(lines)) {
        Text line = MemoryStream::ReadLine(lines);
        if (FindText(line, "Set-Cookie: ", 1, true) < 1) continue;
        line = ReplaceRange(line, 1, 12);
        // A cookie without attributes has no ";": it still counts whole.
        text += (FindText(line, ";") == -1 ? line : TextBefore(line, ";")).str();
        text += ';';
        const int equals = FindText(line, "=", 1, true);
        out.cookies.emplace_back(TextLeft(line, equals - 1), TextRight(line, TextLength(line) - equals));
    }
    MemoryStream::Close(lines);
    out.text = Text(std::move(text));
    return out;
}

void HttpExchange(StreamHandle stream, ExchangeControl& control) {
    RequestBlock block(RequestSlot::kCount);
    if (!MemoryStream::SeekToStart(stream) || !MemoryStream::ReadData(stream, block)) return;
    // Held for the whole exchange: the shared state outlives an exchange that is still
    // running while the process winds down.
    const std::shared_ptr<web::CurlRuntime> runtime = web::CurlRuntime::Get();

    const Text url = BytesToText(block[RequestSlot::kUrl]);
    const OutgoingRequest request =
        PrepareRequest(url, BytesToText(block[RequestSlot::kMethod]), BytesToText(block[RequestSlot::kHeaders]),
                       block[RequestSlot::kBody], BytesToText(block[RequestSlot::kCookies]),
                       block[RequestSlot::kRedirects].view() == kTrueText);
    const Text proxy = block[RequestSlot::kProxy].empty() ? Text() : BytesToText(block[RequestSlot::kProxy]);

    Outcome outcome;
    try {
        outcome = Transfer(request, proxy, block[RequestSlot::kBody], control, *runtime);
    } catch (const std::exception&) {
        outcome = Outcome{};  // out of memory: answer as if nothing came back
    }
    const Text raw_headers(std::move(outcome.headers));
    block[RequestSlot::kUrl] = Bytes(std::move(outcome.body));
    block[RequestSlot::kMethod] = TextToBytes(CollectCookies(raw_headers).text);
    block[RequestSlot::kCookies] = TextToBytes(raw_headers);
    MemoryStream::SeekToStart(stream);
    MemoryStream::WriteData(stream, block);
}

void HttpExchange(StreamHandle stream) {
    ExchangeControl control;
    HttpExchange(stream, control);
}

}  // namespace qelvanto
