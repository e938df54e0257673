#pragma once

// Fetches one URL under a time limit without holding up the calling thread's own work: the
// request runs on a thread of its own while the caller keeps handling its events.

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace qelvanto {

// Sets up the HTTP client for the process. Call once from main() before any thread starts;
// fetches also set it up on first use.
void PrepareWebAccess();

// Returned in place of the body when the time limit passes (code page 936 text).
Bytes FetchTimeoutMessage();

// Fetches `url` and returns the body, converted when `conversion` says so (1: UTF-8 to code
// page 936, 2: Big5 to code page 936 in simplified characters, other: as received).
// - A blank URL gives empty Bytes at once. A URL that starts with neither "http://" nor
//   "https://" gets "http://" in front, and `url` receives that form.
// - method 1 sends a POST with `post_body`, any other value a GET.
// - `proxy` is host:port of an HTTP proxy for http URLs; empty or omitted: direct.
// - `header_text` holds extra request lines, each ended by CRLF; `cookie_text` cookies to
//   send ('a=1; b=2').
// - `time_limit_seconds` defaults to 60. When it passes, the call returns
//   FetchTimeoutMessage() at once and the request is called off.
// - `received_headers` and `received_cookies`, when given, receive the raw response headers
//   and the cookie text of the response's Set-Cookie lines; they are left alone on a
//   time-out, a blank URL or a fetch called off.
// - The wait calls ProcessEvents() on every pass and gives up with empty Bytes when
//   WorkCancelled() says so.
Bytes FetchUrl(Text& url, std::optional<std::int32_t> method = std::nullopt,
               std::optional<Text> proxy = std::nullopt, std::optional<Text> header_text = std::nullopt,
               std::optional<Bytes> post_body = std::nullopt, std::optional<Text> cookie_text = std::nullopt,
               std::optional<std::int32_t> time_limit_seconds = std::nullopt,
               Text* received_headers = nullptr, std::optional<std::int32_t> conversion = std::nullopt,
               Text* received_cookies = nullptr, std::optional<bool> redirects_allowed = std::nullopt);

}  // namespace qelvanto
