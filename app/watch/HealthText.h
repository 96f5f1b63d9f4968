#pragma once

#include <cstdint>
#include <string>

#include "app/watch/SiteHealth.h"

namespace app {

// How a site's health reads, wherever it is shown: the site list's tooltips,
// the status window and `perchly --status`. Times are kept in UTC and shown
// in local time. All texts are GB18030.

// "尚未检查", "正常", "无法访问", "连续 4 次无法访问".
std::string HealthStateText(const SiteHealth* health);

// How long ago: "刚才", "3 分钟前", "2 小时前", "5 天前". A time ahead of now
// (the clock was set back) reads "刚才".
std::string AgoText(int64_t thenUtcMs, int64_t nowUtcMs);

// The local time of a check and how long ago it was: "12:03:05, 3 分钟前";
// with the date in front when it was not today: "2026-12-08 12:03:05, 1 天前".
std::string CheckTimeText(int64_t thenUtcMs, int64_t nowUtcMs);

// ISO 8601 in local time with its offset: "2026-12-09T13:05:00+08:00".
std::string IsoLocalTime(int64_t utcMs);

}  // namespace app
