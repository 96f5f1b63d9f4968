#pragma once

#include <string_view>

namespace app {

// Where the charset of a page came from.
enum class TCharsetSource {
    ByteOrderMark,  // a UTF-8, UTF-16LE or UTF-16BE byte-order mark
    Header,         // the charset of the response's Content-Type
    Meta,           // a <meta charset> or http-equiv Content-Type near the start
    Utf8Guess,      // no label; valid UTF-8 with multi-byte characters
    Default,        // no label; taken as GB18030
};

struct TPageCharset {
    std::string_view Encoding;  // canonical name, as EncodingForLabel gives it
    TCharsetSource Source = TCharsetSource::Default;
};

// How many bytes of the page are searched for a <meta> declaration, as
// browsers do.
inline constexpr size_t MetaScanLength = 1024;

// Decides the charset of a page as a browser would: a byte-order mark; the
// charset of the Content-Type header value; a <meta charset> or http-equiv
// declaration in the first MetaScanLength bytes (a UTF-16 one means UTF-8,
// x-user-defined means windows-1252); valid UTF-8 with at least one
// multi-byte character (a sequence cut off by the end of the page counts as
// valid, since a long page may be cut at the size bound); else GB18030. A
// label no browser knows counts as no label.
TPageCharset DecidePageCharset(std::string_view contentType, std::string_view page);

// The charset parameter of a Content-Type value, its quotes removed; empty
// when there is none.
std::string_view ContentTypeCharset(std::string_view contentType);

// The encoding a <meta> declaration in the first MetaScanLength bytes names,
// following the HTML prescan; empty when there is none.
std::string_view MetaCharset(std::string_view page);

// True when page is valid UTF-8 (a sequence cut at its very end allowed) and
// holds at least one multi-byte character.
bool LooksLikeUtf8(std::string_view page);

}  // namespace app
