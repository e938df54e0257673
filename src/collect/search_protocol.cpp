#include "collect/search_protocol.h"

#include <string>
#include <utility>

#include "regex/regex_object.h"
#include "text/codepage.h"
#include "text/delimited.h"

namespace qelvanto {

Text DefaultSearchBase() { return Text("http://" QELVANTO_SEARCH_HOST "/group/search/"); }

Text BuildSearchUrl(int page, const Text& keyword, const Text& timestamp, const Text& base) {
    std::string url = base.str();
    url += std::to_string(page);
    url += "?callback=groupCallback&name=";
    url += UrlEncodeUtf8(keyword).str();
    url += "&currentuid=" QELVANTO_USER_ID "&_=";
    url += timestamp.str();
    return Text(std::move(url));
}

std::vector<GroupRecord> ParseGroupPage(const Text& body) {
    RegexObject matcher;
    return ParseGroupPage(body, matcher);
}

namespace {

// The records of the page the matcher has just searched.
std::vector<GroupRecord> CutRecords(const RegexObject& matcher) {
    std::vector<GroupRecord> records;
    const int count = matcher.MatchCount();
    if (count <= 0) return records;
    const Text name_left("name\":\"");
    const Text quote("\"");
    const Text number_left("groupNum\":");
    const Text members_left("memberCount\":");
    const Text comma(",");
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        const Text record = matcher.MatchText(i);
        records.push_back({TextBetween(record, name_left, quote),
                           TextBetween(record, number_left, comma),
                           TextBetween(record, members_left, comma)});
    }
    return records;
}

}  // namespace

std::vector<GroupRecord> ParseGroupPage(const Text& body, RegexObject& matcher) {
    matcher.Create(Text(kGroupRecordPattern), body);
    return CutRecords(matcher);
}

std::vector<GroupRecord> ParseGroupPage(Text&& body, RegexObject& matcher) {
    matcher.Create(Text(kGroupRecordPattern), std::move(body));
    return CutRecords(matcher);
}

}  // namespace qelvanto
