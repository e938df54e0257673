#pragma once

// The two sides of one page of the group search: the request URL and the group records of
// the answer. Pure functions; the collection run fetches and pages.

#include <string_view>
#include <vector>

#include "text/text.h"

namespace qelvanto {

class RegexObject;

// One group as it stands in a page: the three fields exactly as cut from the record.
struct GroupRecord {
    Text name;
    Text group_number;
    Text member_count;

    friend bool operator==(const GroupRecord&, const GroupRecord&) = default;
};

// A group record: an object whose members stand in exactly this order without white space.
inline constexpr std::string_view kGroupRecordPattern =
    R"re({"groupNum":\d+,"ugroupId":\d+,"ownerId":\d+,"logoIndex":\d+,"memberCount":\d+,)re"
    R"re("name":"(.*?)","creator":{"uid":\d+,"imid":\d+,"nick":"(.*?)","logoIndex":\d+,)re"
    R"re("jifen":\d+,"followed":(.*?),"age":\d+}})re";

// "http://" + the search host + "/group/search/".
Text DefaultSearchBase();

// base + page digits + "?callback=groupCallback&name=" + every UTF-8 byte of the keyword as
// %XX + "&currentuid=" + the user id + "&_=" + timestamp.
Text BuildSearchUrl(int page, const Text& keyword, const Text& timestamp,
                    const Text& base = DefaultSearchBase());

// The group records of a page body (code page 936), in body order. Letter case is ignored
// both in the record pattern and in the cuts. A body that defeats the matcher's work limits
// gives the records found before that point.
std::vector<GroupRecord> ParseGroupPage(const Text& body);
// The same with the caller's matcher, so a run compiles the pattern once and reuses it.
std::vector<GroupRecord> ParseGroupPage(const Text& body, RegexObject& matcher);
// The same, handing the body over to the matcher, which keeps its subject until the next page.
std::vector<GroupRecord> ParseGroupPage(Text&& body, RegexObject& matcher);

}  // namespace qelvanto
