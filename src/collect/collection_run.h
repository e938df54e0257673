#pragma once

// The harvest: page after page of search results, every group above the minimum added to
// the list, progress in the log, until a page holds no group record.

#include <optional>

#include "collect/search_protocol.h"
#include "collect/toolkit.h"
#include "text/text.h"

namespace qelvanto {

struct CollectOptions {
    // Scheme, host and "/group/search/"; tests point it at a loopback directory.
    Text search_base = DefaultSearchBase();
    // Seconds a page may take; omitted means the fetch's own default of 60.
    std::optional<int> time_limit_seconds;
};

// Runs one harvest through the window operations of `tk`. Returns when a page holds no
// record (after the end entry and with the buttons given back), or early, writing nothing
// more, when the calling thread's work is cancelled (WorkCancelled()).
void CollectGroups(Toolkit& tk, const CollectOptions& options = {});

// The log entries, each starting with the time of day.
Text PageLogEntry(int page_number);  // "H:M:S:采集第N页"
Text KeptLogEntry(int row_count);    // "H:M:S:已采集N个"
Text EndLogEntry();                  // "H:M:S:采集完成"

}  // namespace qelvanto
