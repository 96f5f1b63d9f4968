// String escapes of JSON against a decoder written out step by step: the text
// is cut into GB18030 characters first (with the matcher's own character
// lengths, whose boundaries the char_match target checks); each "\" character
// starts an escape read by the table of JSON's grammar, hex digits through
// std::stoul; code points are written to GB18030 by iconv, and every broken
// escape or lone surrogate gives one U+FFFD. Input: the text.
//
// Properties: equal output; text without "\" is reported as such; a decoded
// text holds no more "\" characters than the input.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/page/JsonEscapes.h"
#include "app/page/TargetMatch.h"
#include "fuzz/FuzzSupport.h"
#include "rtl/GbText.h"

namespace {
const std::string Fffd = "\x84\x31\xA4\x37";

std::string GbOf(char32_t c) {
    if (c < 0x80)
        return std::string(1, static_cast<char>(c));
    return rtl::GbFromCharset("UTF-32LE", std::string(reinterpret_cast<const char*>(&c), 4), 4);
}

std::vector<std::string> Characters(std::string_view text) {
    std::vector<std::string> characters;
    for (size_t i = 0; i < text.size();) {
        const size_t length = app::GbCharLength(text, i);
        characters.emplace_back(text.substr(i, length));
        i += length;
    }
    return characters;
}

// The code unit of "uXXXX" at characters[at] ("u" and four hex digits, each a
// character of its own), or -1.
long Unit(const std::vector<std::string>& characters, size_t at) {
    if (at + 5 > characters.size() || characters[at] != "u")
        return -1;
    std::string digits;
    for (size_t i = at + 1; i < at + 5; ++i) {
        if (characters[i].size() != 1 ||
            std::string_view("0123456789abcdefABCDEF").find(characters[i][0]) ==
                std::string_view::npos)
            return -1;
        digits += characters[i];
    }
    return static_cast<long>(std::stoul(digits, nullptr, 16));
}

std::string Reference(std::string_view text) {
    const std::vector<std::string> characters = Characters(text);
    std::string out;
    for (size_t i = 0; i < characters.size();) {
        if (characters[i] != "\\") {
            out += characters[i++];
            continue;
        }
        const long unit = Unit(characters, i + 1);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 6 < characters.size() &&
            characters[i + 6] == "\\") {
            const long low = Unit(characters, i + 7);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out +=
                    GbOf(static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                i += 12;
                continue;
            }
        }
        if (unit >= 0) {
            out += unit >= 0xD800 && unit <= 0xDFFF ? Fffd : GbOf(static_cast<char32_t>(unit));
            i += 6;
            continue;
        }
        const std::string next = i + 1 < characters.size() ? characters[i + 1] : "";
        const std::string simple[][2] = {{"\"", "\""}, {"\\", "\\"}, {"/", "/"},  {"b", "\b"},
                                         {"f", "\f"},  {"n", "\n"},  {"r", "\r"}, {"t", "\t"}};
        bool done = false;
        for (const auto& [letter, value] : simple)
            if (next == letter) {
                out += value;
                i += 2;
                done = true;
                break;
            }
        if (!done) {
            out += Fffd;
            i += 1;
        }
    }
    return out;
}

size_t Backslashes(std::string_view text) {
    size_t count = 0;
    for (const std::string& c : Characters(text))
        count += c == "\\";
    return count;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024)
        return -1;
    const std::string text = fuzz::Bytes(data, size);
    std::string decoded = "old contents";
    const bool any = app::DecodeJsonEscapes(text, decoded);
    FUZZ_CHECK(any == (text.find('\\') != std::string::npos), text);
    if (!any)
        return 0;
    const std::string expected = Reference(text);
    FUZZ_CHECK(decoded == expected, expected, decoded);
    FUZZ_CHECK(Backslashes(decoded) <= Backslashes(text), text, decoded);
    return 0;
}
