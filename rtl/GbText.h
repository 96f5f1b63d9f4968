#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace rtl {

// The program stores and compares all text as GB18030 bytes (a superset of
// GB2312, so GB2312 files read and write byte for byte). Widgets speak QString;
// these are the only conversions between the two worlds.

// GB18030 bytes -> QString. Bytes that are not valid GB18030 become U+FFFD.
QString FromGb(std::string_view gb);

// QString -> GB18030 bytes. Every Unicode character has a GB18030 form.
std::string ToGb(const QString& text);

// A file name as the file system spells it (the locale's bytes) -> GB18030
// text, for showing or handing it on where the program speaks GB.
std::string GbFromPath(const std::string& path);

// A UTF-8 literal of the source code (the program's own Chinese texts) as GB bytes.
std::string Gb(std::string_view utf8);

// Text in the charset iconv knows by that name -> GB18030 bytes. Every byte
// that does not start a valid character there (every unit of `unit` bytes, for
// a fixed-width charset such as UTF-32LE) becomes one U+FFFD (GB18030
// 84 31 A4 37). Raises std::runtime_error when iconv does not know the name.
std::string GbFromCharset(const char* charset, std::string_view text, size_t unit = 1);

}  // namespace rtl
