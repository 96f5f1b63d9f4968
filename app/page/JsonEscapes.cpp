#include "app/page/JsonEscapes.h"

#include <cstring>

#include "app/page/GbPage.h"
#include "app/page/TargetMatch.h"
#include "rtl/IntConv.h"

namespace app {

namespace {
constexpr char32_t Replacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The value of the four hex digits after "\u" at text[at], or -1.
long FourHexDigits(std::string_view text, size_t at) {
    if (text.size() - at < 6 || text[at] != '\\' || text[at + 1] != 'u')
        return -1;
    long value = 0;
    for (size_t i = at + 2; i < at + 6; ++i) {
        const int digit = rtl::HexDigitValue(text[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

char SimpleEscape(char letter) {
    switch (letter) {
        case '"':
        case '\\':
        case '/':
            return letter;
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            return 0;
    }
}

// Decodes the escape at text[at] == '\\' into out; returns the position after it.
size_t DecodeEscape(std::string_view text, size_t at, std::string& out) {
    const long unit = FourHexDigits(text, at);
    if (unit >= 0) {
        auto c = static_cast<char32_t>(unit);
        size_t next = at + 6;
        if (IsHighSurrogate(c)) {
            const long low = FourHexDigits(text, next);
            if (low >= 0 && IsLowSurrogate(static_cast<char32_t>(low))) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
                next += 6;
            } else {
                c = Replacement;
            }
        } else if (IsLowSurrogate(c)) {
            c = Replacement;
        }
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else
            AppendGbChar(c, out);
        return next;
    }
    if (at + 1 < text.size()) {
        if (const char simple = SimpleEscape(text[at + 1]); simple != 0) {
            out.push_back(simple);
            return at + 2;
        }
    }
    // A broken escape stands between its neighbours; what follows the
    // backslash is read as text again.
    AppendGbChar(Replacement, out);
    return at + 1;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when text at position starts with word (lower-case ASCII), in any case.
bool StartsWithAnyCase(std::string_view text, size_t position, std::string_view word) {
    if (text.size() - position < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (LowerAscii(text[position + i]) != word[i])
            return false;
    return true;
}

// The first "<" + word at or after from that a blank, "/" or ">" (or the end)
// follows, or npos. "<" is never part of a multi-byte GB18030 character, so a
// byte search for it lands on character starts only.
size_t FindTag(std::string_view page, size_t from, std::string_view word) {
    while (from < page.size()) {
        const void* hit = std::memchr(page.data() + from, '<', page.size() - from);
        if (hit == nullptr)
            return std::string_view::npos;
        const auto at = static_cast<size_t>(static_cast<const char*>(hit) - page.data());
        if (StartsWithAnyCase(page, at + 1, word)) {
            const size_t after = at + 1 + word.size();
            if (after == page.size() || std::strchr(" \t\r\n\f/>", page[after]) != nullptr)
                return at;
        }
        from = at + 1;
    }
    return std::string_view::npos;
}
}  // namespace

bool DecodeJsonEscapes(std::string_view text, std::string& out) {
    if (text.find('\\') == std::string_view::npos)
        return false;
    out.clear();
    out.reserve(text.size());
    size_t copied = 0;  // text before this is in out
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\\') {
            i += GbCharLength(text, i);
            continue;
        }
        out.append(text.substr(copied, i - copied));
        i = DecodeEscape(text, i, out);
        copied = i;
    }
    out.append(text.substr(copied));
    return true;
}

bool IsJsonOrScriptType(std::string_view contentType) {
    std::string type;
    for (const char c : contentType.substr(0, contentType.find(';')))
        if (c != ' ' && c != '\t')
            type.push_back(LowerAscii(c));
    static constexpr std::string_view Types[] = {
        "application/json",        "text/json",       "text/javascript",
        "application/javascript",  "text/ecmascript", "application/ecmascript",
        "application/x-javascript"};
    for (const std::string_view known : Types)
        if (type == known)
            return true;
    return type.size() > 5 && type.compare(type.size() - 5, 5, "+json") == 0;
}

bool LooksLikeJson(std::string_view body) {
    const size_t first = body.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && (body[first] == '{' || body[first] == '[');
}

bool ScriptTexts(std::string_view page, std::string& out) {
    out.clear();
    bool any = false;
    for (size_t open = FindTag(page, 0, "script"); open != std::string_view::npos;) {
        any = true;
        const size_t startEnd = page.find('>', open);
        if (startEnd == std::string_view::npos)
            break;
        const size_t close = FindTag(page, startEnd + 1, "/script");
        out.append(page.substr(startEnd + 1, close == std::string_view::npos
                                                 ? std::string_view::npos
                                                 : close - startEnd - 1));
        out.push_back('\n');
        if (close == std::string_view::npos)
            break;
        open = FindTag(page, close + 1, "script");
    }
    return any;
}

}  // namespace app
