#include "app/page/CharRefs.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "app/page/GbPage.h"
#include "rtl/GbText.h"
#include "rtl/IntConv.h"

namespace app {

namespace {
struct NamedRef {
    std::string_view Name;
    char32_t First;
    char32_t Second;
};

constexpr NamedRef NamedRefs[] = {
#include "app/page/HtmlEntities.inc"
};

// The longest name in the table, its ";" included.
constexpr size_t LongestName = 32;
// The longest of the old names that also count without ";".
constexpr size_t LongestBareName = 6;

const NamedRef* FindNamed(std::string_view name) {
    const auto* found = std::lower_bound(
        std::begin(NamedRefs), std::end(NamedRefs), name,
        [](const NamedRef& entry, std::string_view key) { return entry.Name < key; });
    return found != std::end(NamedRefs) && found->Name == name ? found : nullptr;
}

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int DigitValue(char c, bool hex) {
    if (hex)
        return rtl::HexDigitValue(c);
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

// Browsers read the numbers 128..159 as windows-1252 bytes; the system
// converter says what each byte is (the five it leaves undefined keep their
// own code point).
const std::array<std::string, 32>& C1Characters() {
    static const std::array<std::string, 32> table = [] {
        std::array<std::string, 32> gb;
        for (int i = 0; i < 32; ++i) {
            gb[i] = rtl::GbFromCharset("CP1252", std::string(1, static_cast<char>(0x80 + i)));
            if (gb[i] == "\x84\x31\xA4\x37") {
                gb[i].clear();
                AppendGbChar(static_cast<char32_t>(0x80 + i), gb[i]);
            }
        }
        return gb;
    }();
    return table;
}

void AppendDecoded(char32_t c, std::string& out) {
    if (c == 0xA0)
        out.push_back(' ');
    else if (c < 0x80)
        out.push_back(static_cast<char>(c));
    else if (c >= 0x80 && c <= 0x9F)
        out += C1Characters()[c - 0x80];
    else
        AppendGbChar(c, out);
}

// A numeric reference at text[at] == '#' (after the "&"); returns the
// position after it, or at when there are no digits.
size_t NumericReference(std::string_view text, size_t at, std::string& out) {
    size_t i = at + 1;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    const size_t digits = i;
    char32_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], hex);
        if (digit < 0)
            break;
        // Past U+10FFFF the value only needs to stay past it.
        value =
            std::min<char32_t>(value * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
    }
    if (i == digits)
        return at;
    if (i < text.size() && text[i] == ';')
        ++i;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        value = 0xFFFD;
    AppendDecoded(value, out);
    return i;
}

// A named reference starting at text[at] (after the "&"); returns the
// position after it, or at when no name matches.
size_t NamedReference(std::string_view text, size_t at, std::string& out) {
    size_t run = 0;
    while (at + run < text.size() && run < LongestName && IsAlnum(text[at + run]))
        ++run;
    if (run == 0)
        return at;
    const NamedRef* found = nullptr;
    size_t length = 0;
    if (at + run < text.size() && text[at + run] == ';') {
        found = FindNamed(text.substr(at, run + 1));
        length = run + 1;
    }
    for (size_t k = std::min(run, LongestBareName); !found && k > 0; --k) {
        found = FindNamed(text.substr(at, k));
        length = k;
    }
    if (!found)
        return at;
    AppendDecoded(found->First, out);
    if (found->Second != 0)
        AppendDecoded(found->Second, out);
    return at + length;
}
}  // namespace

bool DecodeCharRefs(std::string_view text, std::string& out) {
    size_t amp = text.find('&');
    if (amp == std::string_view::npos)
        return false;
    out.clear();
    out.reserve(text.size());
    size_t done = 0;
    while (amp != std::string_view::npos) {
        out.append(text, done, amp - done);
        const size_t after = amp + 1;
        size_t next = after;
        if (after < text.size())
            next = text[after] == '#' ? NumericReference(text, after, out)
                                      : NamedReference(text, after, out);
        if (next == after)
            out.push_back('&');
        done = next;
        amp = text.find('&', done);
    }
    out.append(text, done);
    return true;
}

}  // namespace app
