#include "collect/collection_run.h"

#include <utility>

#include "collect/search_protocol.h"
#include "regex/regex_object.h"
#include "text/delimited.h"
#include "web/fetch_url.h"

namespace qelvanto {
namespace {

// Log texts in code page 936.
constexpr const char* kPageEntryPrefix = ":\xb2\xc9\xbc\xaf\xb5\xda";  // ":采集第"
constexpr const char* kPageEntrySuffix = "\xd2\xb3";                   // "页"
constexpr const char* kKeptEntryPrefix = ":\xd2\xd1\xb2\xc9\xbc\xaf";  // ":已采集"
constexpr const char* kKeptEntrySuffix = "\xb8\xf6";                   // "个"
constexpr const char* kEndEntry = ":\xb2\xc9\xbc\xaf\xcd\xea\xb3\xc9";  // ":采集完成"

constexpr int kLogTimeStyle = 1;         // "H:M:S"
constexpr int kConvertUtf8ToAnsi = 1;  // the page body arrives in UTF-8

}  // namespace

Text PageLogEntry(int page_number) {
    return ConcatText(FormatTimeOfDay(kLogTimeStyle), kPageEntryPrefix, NumberToText(page_number),
                      kPageEntrySuffix);
}

Text KeptLogEntry(int row_count) {
    return ConcatText(FormatTimeOfDay(kLogTimeStyle), kKeptEntryPrefix, NumberToText(row_count),
                      kKeptEntrySuffix);
}

Text EndLogEntry() { return ConcatText(FormatTimeOfDay(kLogTimeStyle), kEndEntry); }

void CollectGroups(Toolkit& tk, const CollectOptions& options) {
    RegexObject matcher;
    int page = 0;
    bool finished = false;
    while (!finished) {
        if (WorkCancelled()) return;
        EditBox::Append(tk, Control::kLogBox, PageLogEntry(page + 1));

        const Text keyword = EditBox::Content(tk, Control::kKeywordBox);
        Text url = BuildSearchUrl(page, keyword, ScriptTimestamp(), options.search_base);
        // The body is moved along, not copied: a page may be as large as the body cap.
        Text body(std::move(FetchUrl(url, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                     std::nullopt, options.time_limit_seconds, nullptr,
                                     kConvertUtf8ToAnsi)
                                .str()));
        if (WorkCancelled()) return;

        const std::vector<GroupRecord> records = ParseGroupPage(std::move(body), matcher);
        if (records.empty()) finished = true;
        for (const GroupRecord& record : records) {
            if (WorkCancelled()) return;
            const std::int32_t members = TextToInt(record.member_count);
            const std::int32_t minimum = TextToInt(EditBox::Content(tk, Control::kMinimumBox));
            if (members <= minimum) continue;

            const int row = ListView::InsertRow(tk, Control::kList);
            ListView::SetCell(tk, Control::kList, row, 0, NumberToText(row + 1));
            ListView::SetCell(tk, Control::kList, row, 1, record.name);
            ListView::SetCell(tk, Control::kList, row, 2, record.group_number);
            ListView::SetCell(tk, Control::kList, row, 3, record.member_count);
            ListView::EnsureVisible(tk, Control::kList, row);
            EditBox::Append(tk, Control::kLogBox, KeptLogEntry(ListView::RowCount(tk, Control::kList)));
        }
        ++page;
    }

    EditBox::Append(tk, Control::kLogBox, EndLogEntry());
    ControlOps::SetEnabled(tk, Control::kStartButton, true);
    ControlOps::SetEnabled(tk, Control::kPauseButton, false);
    ControlOps::SetEnabled(tk, Control::kStopButton, false);
}

}  // namespace qelvanto
