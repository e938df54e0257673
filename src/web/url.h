#pragma once

// Cuts a URL into the host, path and port an HTTP exchange needs. Plain text rules, no
// parser: nothing is decoded and each function has its own rule for letter case.

#include <cstdint>

#include "text/text.h"

namespace qelvanto {

Text UrlHost(const Text& url);
Text UrlPath(const Text& url);
std::int32_t UrlPort(const Text& url);

}  // namespace qelvanto
