#pragma once

#include <string>
#include <string_view>

namespace app {

// True for the encodings whose pages are GB18030 text already (GBK, GB2312
// and GB18030 labels): such a page is used byte for byte.
bool IsGbEncoding(std::string_view encoding);

// Converts a page in `encoding` (a canonical name from EncodingForLabel) to
// GB18030 text in `out`, replacing what out held but keeping its room, so a
// watcher converting one page per tick does not fault in fresh memory each
// time. GB pages are copied unchanged. A byte-order mark of the page's own
// encoding is dropped. Bytes that are not valid in the encoding become
// U+FFFD, as browsers show them; nothing is dropped silently. Every Unicode
// character has a GB18030 form, so nothing else is lost. UTF-8 and UTF-16 are
// decoded here and encoded through a table that the system converter (iconv)
// fills once; every other encoding goes through iconv itself.
void ConvertPageToGb(std::string_view encoding, std::string_view page, std::string& out);

// The GB18030 bytes of one Unicode scalar value (U+FFFD's for anything else).
void AppendGbChar(char32_t codePoint, std::string& out);

}  // namespace app
