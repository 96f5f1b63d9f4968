#pragma once

#include <string>

namespace app {

// A JSON string of UTF-8 text, for the reports on the command line: quotes,
// backslashes and control characters escaped, everything else as it is.
std::string JsonString(const std::string& utf8);

}  // namespace app
