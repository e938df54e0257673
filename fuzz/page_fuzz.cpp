// The page path: a UTF-8 body in, group records out. Every field of every record stands in
// the converted body.

#include <cstdint>
#include <string_view>

#include "collect/search_protocol.h"
#include "fuzz_input.h"
#include "regex/regex_object.h"
#include "text/codepage.h"

using namespace qelvanto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text body = Utf8ToAnsi(Text(std::string_view(reinterpret_cast<const char*>(data), size)));
    RegexObject matcher;
    const auto records = ParseGroupPage(body, matcher);
    const std::string_view b = body.view();
    for (const GroupRecord& r : records) {
        FUZZ_CHECK(b.find(r.name.view()) != std::string_view::npos);
        FUZZ_CHECK(b.find(r.group_number.view()) != std::string_view::npos);
        FUZZ_CHECK(b.find(r.member_count.view()) != std::string_view::npos);
        for (char c : r.group_number.view()) FUZZ_CHECK(c >= '0' && c <= '9');
    }
    // The same body parsed with a fresh matcher gives the same records.
    FUZZ_CHECK(ParseGroupPage(body) == records);
    return 0;
}
