#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtl {

// Parses a whole text as a 32-bit integer: an optional sign followed by decimal
// digits, or by "0x"/"0X"/"$" and hexadecimal digits. Hexadecimal accepts the full
// 32-bit pattern ("$FFFFFFFF" is -1). Anything else, trailing garbage and empty
// text included, and decimal values outside 32 bits, yield no value.
std::optional<int32_t> TryStrToInt(std::string_view text);

// TryStrToInt with a fallback for texts that are not integers.
int32_t StrToIntDef(std::string_view text, int32_t fallback);

// TryStrToInt that raises EConvertError ("'abc' is not a valid integer value").
int32_t StrToInt(std::string_view text);

// The value of a hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Decimal text of a value, as the settings file and the user interface show it.
std::string IntToStr(int64_t value);

}  // namespace rtl
