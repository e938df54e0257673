#pragma once

// Delimited text and the time of day.

#include <optional>

#include "text/text.h"

namespace qelvanto {

// The text between the first `left` at or after `start` and the first `right` after it;
// empty when either is missing. "#引号" in a delimiter stands for a double quote. Letter case
// is ignored unless `case_sensitive` is true.
Text TextBetween(const Text& subject, const Text& left, const Text& right,
                 std::optional<int> start = std::nullopt, bool case_sensitive = false);

// The text in front of the first `delimiter` found from `start`; empty when it is missing.
Text TextBefore(const Text& subject, const Text& delimiter, std::optional<int> start = std::nullopt,
                bool case_insensitive = false);

// Hour, minute and second without leading zeros: style 0 "9时5分3秒", 1 "9:5:3", 2 "9-5-3",
// 3 "9/5/3"; any other style gives the empty text. The time defaults to Now().
Text FormatTimeOfDay(std::optional<int> style = std::nullopt,
                     std::optional<DateTime> time = std::nullopt);

// Milliseconds since 1970-01-01 00:00:00 UTC as decimal digits; empty when no time is known.
Text ScriptTimestamp();

}  // namespace qelvanto
