#pragma once

#include <cstdint>
#include <string>

#include "app/watch/Presence.h"

namespace app {

// How presence reads in the nickname list's tooltips, the records window and
// `perchly --seen`. Local time; GB18030 texts.

// A moment as a day and a time: "今天 12:03", "昨天 23:40", "12-01 08:15",
// "2025-12-01 08:15" for another year.
std::string SeenDayTimeText(int64_t utcMs, int64_t nowUtcMs);

// How long a span lasted: "不到 1 分钟", "25 分钟", "2 小时 5 分钟", "3 天 4 小时".
std::string SpanLengthText(int64_t lengthMs);

// The tooltip line of a name: "上次出现: 今天 12:03, 聊天大厅 (在线约 25 分钟)",
// "上次出现: 现在, 聊天大厅 (在线约 25 分钟)" while the span is open, or
// "从未出现" without a span. siteName is the site's name as the list holds it
// (or as it was when last checked).
std::string LastSeenText(const PresenceSpan* span, const std::string& siteName, int64_t nowUtcMs);

}  // namespace app
