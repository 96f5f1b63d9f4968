#pragma once

#include <string>
#include <string_view>

namespace app {

// Decodes the string escapes of JSON (and of the scripts that carry lists as
// JSON or script arrays) in GB18030 text: \uXXXX (any case, surrogate pairs
// joined), \" \\ \/ \b \f \n \r \t. Chat pages often load their who-is-present
// list that way, with names written as \u674e\u5bfb\u6b22, so a nickname only
// shows in the decoded copy. A backslash that starts no valid escape, \u with
// fewer than four hex digits and a surrogate without its partner become
// U+FFFD, so the characters on either side never join into a name that the
// text does not hold. Everything else is copied as it is; the text is walked
// by GB18030 characters, since 0x5C is also the trail byte of many two-byte
// characters. Returns false, leaving out alone, when text holds no "\" at all.
bool DecodeJsonEscapes(std::string_view text, std::string& out);

// True when a Content-Type value names JSON or a script: application/json,
// text/json, any +json type, text/javascript and its aliases.
bool IsJsonOrScriptType(std::string_view contentType);

// True when the body reads as JSON at a glance: its first character other
// than white space is "{" or "[". An HTML page never starts that way, and a
// false guess costs one more copy to search, never a wrong match.
bool LooksLikeJson(std::string_view body);

// The text of every <script> element of an HTML page, one after another,
// each followed by a line feed, into out (replacing what it held but keeping
// its room). A script left open runs to the end of the page. Returns false
// when the page has no script.
bool ScriptTexts(std::string_view page, std::string& out);

}  // namespace app
