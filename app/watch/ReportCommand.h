#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/watch/HealthStore.h"

namespace app {

// What `perchly --status` and `perchly --seen` share on the command line.

// Reads the options: the command's own (command, e.g. "--status") and
// "--json", which sets json. False, with the usage on err, for any other.
bool ReadReportOptions(const std::vector<std::string>& arguments, const std::string& command,
                       bool& json, std::FILE* err);

// Says on err why the database at path could not be read and what the report
// makes of that (meaning, e.g. "its sites read as not checked"); nothing when
// there is no file yet, which only means nothing was checked here.
void NoteUnreadableStore(const StoreProblem& problem, const std::string& path, const char* meaning,
                         std::FILE* err);

// Writes the report's text to out, whole.
void WriteReport(std::FILE* out, const std::string& text);

}  // namespace app
