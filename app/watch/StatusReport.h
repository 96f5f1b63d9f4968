#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/watch/SiteHealth.h"
#include "app/watch/WatchState.h"
#include "rtl/FileFolders.h"

namespace app {

// One site of the list with its health, as the status window and
// `perchly --status` show it. Texts are GB18030.
struct SiteReport {
    std::string Name;
    std::string Url;
    bool Watched = false;
    HealthState State = HealthState::NotChecked;
    std::string StateText;
    std::optional<LastCheck> Last;
    int32_t FailuresInARow = 0;
    CheckCounts Day;  // the last 24 hours
};

// Every site of the list, in list order, with what the book knows of it.
std::vector<SiteReport> ReportSites(const WatchState& state, const THealthBook& book,
                                    int64_t nowUtcMs);

// The report for a terminal, UTF-8: a block of lines per site.
std::string StatusText(const std::vector<SiteReport>& sites, int64_t nowUtcMs);

// Exactly one JSON object, UTF-8:
// {"sites": [{"name": ..., "url": ..., "watched": true, "last_check": ISO 8601
// with offset or null, "result": "ok" | "failed" | null, "reason": the
// component's text, "reason_zh": the sentence, "failures_in_a_row": 0,
// "checks_24h": 0, "failures_24h": 0}]}
std::string StatusJson(const std::vector<SiteReport>& sites);

// `perchly --status [--json]`: reads perchly.ini and perchly.db of the folder
// the window uses, read-only (no lock, no display, no hand-over to a running
// copy), prints the report to out and returns the exit status: 0, also when
// the database is missing or unreadable (its sites then read as not checked
// and a note goes to err); 2 for an option it does not know.
int RunStatusCommand(const std::vector<std::string>& arguments, const rtl::FileFolders& folders,
                     std::FILE* out, std::FILE* err);

}  // namespace app
