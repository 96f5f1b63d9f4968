// Character references against a decoder written out as browsers describe
// it: at each "&", the longest name of the whole table that the text goes on
// with (a name with ";" or one of the old bare ones), or "#" and digits whose
// value is taken with unlimited precision; code points written to GB18030 by
// iconv. Input: the text (GB bytes around the references are left alone).
//
// Properties: equal output; text without "&" is reported as such.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/page/CharRefs.h"
#include "fuzz/FuzzSupport.h"
#include "rtl/GbText.h"

namespace {
struct Entry {
    std::string_view Name;
    char32_t First;
    char32_t Second;
};
constexpr Entry Table[] = {
#include "app/page/HtmlEntities.inc"
};

std::string GbOf(char32_t c) {
    if (c == 0xA0)
        return " ";
    if (c >= 0x80 && c <= 0x9F) {
        const std::string windows =
            rtl::GbFromCharset("CP1252", std::string(1, static_cast<char>(c)));
        if (windows != "\x84\x31\xA4\x37")
            return windows;
    }
    return rtl::GbFromCharset("UTF-32LE", std::string(reinterpret_cast<const char*>(&c), 4), 4);
}

bool IsDigit(char c, bool hex) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

std::string Reference(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '#') {
            size_t j = i + 2;
            const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
            j += hex;
            size_t k = j;
            while (k < text.size() && IsDigit(text[k], hex))
                ++k;
            if (k == j) {
                out += text[i++];
                continue;
            }
            std::string digits(text.substr(j, k - j));
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
            const bool huge = digits.size() > 8;
            const uint64_t value =
                huge || digits.empty() ? 0 : std::stoull(digits, nullptr, hex ? 16 : 10);
            char32_t c = static_cast<char32_t>(value);
            if (huge || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                c = 0xFFFD;
            out += GbOf(c);
            i = k < text.size() && text[k] == ';' ? k + 1 : k;
            continue;
        }
        const Entry* best = nullptr;
        for (const Entry& entry : Table)
            if (text.substr(i + 1, entry.Name.size()) == entry.Name &&
                (!best || entry.Name.size() > best->Name.size()))
                best = &entry;
        if (!best) {
            out += text[i++];
            continue;
        }
        out += GbOf(best->First);
        if (best->Second)
            out += GbOf(best->Second);
        i += 1 + best->Name.size();
    }
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024)
        return -1;
    const std::string text = fuzz::Bytes(data, size);
    std::string decoded;
    const bool any = app::DecodeCharRefs(text, decoded);
    FUZZ_CHECK(any == (text.find('&') != std::string::npos), text);
    if (!any)
        return 0;
    const std::string expected = Reference(text);
    FUZZ_CHECK(decoded == expected, expected, decoded);
    return 0;
}
