// URL splitting never fails: a path always starts with "/", a host holds no "/" or ":".

#include <cstdint>
#include <string_view>

#include "fuzz_input.h"
#include "web/url.h"

using namespace qelvanto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text url(std::string_view(reinterpret_cast<const char*>(data), size));
    const Text host = UrlHost(url);
    // Character-aware: a "/" or ":" may still stand as the second byte of a two-byte character.
    FUZZ_CHECK(FindText(host, "/") == -1);
    FUZZ_CHECK(FindText(host, ":") == -1);
    const Text path = UrlPath(url);
    FUZZ_CHECK(!path.empty() && path[0] == '/');
    (void)UrlPort(url);
    return 0;
}
