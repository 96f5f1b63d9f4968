#pragma once

#include <string_view>

namespace app {

// The encoding a charset label names, matched as browsers match labels: blanks
// and line breaks around it ignored, letters in any case, and the aliases
// browsers know ("utf8", "x-gbk", "gb2312", "big5-hkscs", "latin1", ...).
// Returns the encoding's canonical name ("UTF-8", "GBK", "gb18030", "Big5",
// "windows-1252", "UTF-16LE", "replacement", ...), or an empty view for a
// label no browser knows.
std::string_view EncodingForLabel(std::string_view label);

}  // namespace app
