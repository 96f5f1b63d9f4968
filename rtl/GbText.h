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

// A UTF-8 literal of the source code (the program's own Chinese texts) as GB bytes.
std::string Gb(std::string_view utf8);

}  // namespace rtl
