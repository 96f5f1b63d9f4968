#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/watch/HealthStore.h"
#include "app/watch/WatchState.h"
#include "rtl/FileFolders.h"

namespace app {

// One nickname of the list with its latest sighting, as `perchly --seen`
// shows it. Texts are GB18030.
struct SeenReportRow {
    std::string Name;
    bool Watched = false;
    std::optional<PresenceSpan> Last;
    std::string LastSite;     // the site's name as the list holds it, else as last checked
    int64_t RecentSpans = 0;  // spans seen in the last 30 days
};

// Every nickname of the list, in list order, with what the database knows.
std::vector<SeenReportRow> ReportSeen(const WatchState& state,
                                      const std::vector<NameSighting>& sightings);

// The report for a terminal, UTF-8: a block of lines per nickname.
std::string SeenText(const std::vector<SeenReportRow>& rows, int64_t nowUtcMs);

// Exactly one JSON object, UTF-8: {"targets": [{"name": ..., "watched": true,
// "last_seen": ISO 8601 with offset or null, "last_site": ... or null,
// "spans_30d": 0}]}.
std::string SeenJson(const std::vector<SeenReportRow>& rows);

// `perchly --seen [--json]`: reads perchly.ini and perchly.db as `perchly
// --status` does (read-only, no display, no lock), prints the report to out
// and returns the exit status: 0, also without a database (every name then
// reads as never seen, with a note on err when the file cannot be read); 2
// for an option it does not know.
int RunSeenCommand(const std::vector<std::string>& arguments, const rtl::FileFolders& folders,
                   std::FILE* out, std::FILE* err);

}  // namespace app
