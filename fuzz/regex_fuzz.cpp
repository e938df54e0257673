// The record pattern over arbitrary subjects: every match and group is the subject's own
// bytes at the position reported, and matches come in order without overlapping.

#include <cstdint>
#include <string_view>

#include "collect/search_protocol.h"
#include "fuzz_input.h"
#include "regex/regex_object.h"

using namespace qelvanto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool global = in.Bool();
    const Text subject(in.Rest());
    RegexObject regex;
    FUZZ_CHECK(regex.Create(Text(kGroupRecordPattern), subject, std::nullopt, std::nullopt, global));
    const int count = regex.MatchCount();
    FUZZ_CHECK(count >= 0 && (global || count <= 1));
    int previous_end = 0;
    for (int m = 1; m <= count; ++m) {
        int at = -2;
        const Text match = regex.MatchText(m, &at);
        FUZZ_CHECK(at >= previous_end);
        FUZZ_CHECK(subject.view().substr(static_cast<std::size_t>(at), match.size()) == match.view());
        previous_end = at + static_cast<int>(match.size());
        FUZZ_CHECK(regex.SubmatchCount() == 3);
        for (int g = 1; g <= 3; ++g) {
            int group_at = -2;
            const Text group = regex.SubmatchText(m, g, &group_at);
            if (group_at == -1) continue;
            FUZZ_CHECK(group_at >= at && group_at + group.size() <= previous_end + 0u);
            FUZZ_CHECK(subject.view().substr(static_cast<std::size_t>(group_at), group.size()) ==
                       group.view());
        }
    }
    FUZZ_CHECK(regex.MatchText(count + 1).empty());
    FUZZ_CHECK(regex.MatchText(0).empty());
    return 0;
}
