#include "app/page/PageCharset.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "app/page/CharsetLabel.h"

namespace app {

namespace {
bool IsSpace(unsigned char c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size() || at > text.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (Lower(text[at + i]) != word[i])
            return false;
    return true;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The HTML prescan's "get an attribute": reads one attribute at position,
// name and value in lower case. False when there is none (a ">" or the end).
struct Attribute {
    std::string Name;
    std::string Value;
};

bool GetAttribute(std::string_view s, size_t& at, Attribute& attribute) {
    const auto byte = [&]() -> int {
        return at < s.size() ? static_cast<unsigned char>(s[at]) : -1;
    };
    attribute = {};
    while (byte() >= 0 && (IsSpace(static_cast<unsigned char>(byte())) || byte() == '/'))
        ++at;
    if (byte() < 0 || byte() == '>')
        return false;
    for (;;) {
        const int b = byte();
        if (b < 0)
            return false;
        if (b == '=' && !attribute.Name.empty()) {
            ++at;
            break;
        }
        if (IsSpace(static_cast<unsigned char>(b))) {
            while (byte() >= 0 && IsSpace(static_cast<unsigned char>(byte())))
                ++at;
            if (byte() != '=')
                return byte() >= 0;
            ++at;
            break;
        }
        if (b == '/' || b == '>')
            return true;
        attribute.Name.push_back(Lower(static_cast<char>(b)));
        ++at;
    }
    while (byte() >= 0 && IsSpace(static_cast<unsigned char>(byte())))
        ++at;
    const int quote = byte();
    if (quote < 0)
        return false;
    if (quote == '"' || quote == '\'') {
        for (++at; byte() >= 0; ++at) {
            if (byte() == quote) {
                ++at;
                return true;
            }
            attribute.Value.push_back(Lower(static_cast<char>(byte())));
        }
        return false;
    }
    if (quote == '>')
        return true;
    for (; byte() >= 0; ++at) {
        if (IsSpace(static_cast<unsigned char>(byte())) || byte() == '>')
            return true;
        attribute.Value.push_back(Lower(static_cast<char>(byte())));
    }
    return false;
}

// The charset named in a meta content value ("text/html; charset=gbk").
std::string_view CharsetInMetaContent(std::string_view s) {
    size_t at = 0;
    for (;;) {
        const size_t found = [&] {
            for (size_t i = at; i + 7 <= s.size(); ++i)
                if (StartsWithNoCase(s, i, "charset"))
                    return i;
            return std::string_view::npos;
        }();
        if (found == std::string_view::npos)
            return {};
        at = found + 7;
        while (at < s.size() && IsSpace(static_cast<unsigned char>(s[at])))
            ++at;
        if (at >= s.size() || s[at] != '=')
            continue;
        ++at;
        while (at < s.size() && IsSpace(static_cast<unsigned char>(s[at])))
            ++at;
        if (at >= s.size())
            return {};
        if (s[at] == '"' || s[at] == '\'') {
            const size_t close = s.find(s[at], at + 1);
            if (close == std::string_view::npos)
                return {};
            return EncodingForLabel(s.substr(at + 1, close - at - 1));
        }
        size_t end = at;
        while (end < s.size() && !IsSpace(static_cast<unsigned char>(s[end])) && s[end] != ';')
            ++end;
        return EncodingForLabel(s.substr(at, end - at));
    }
}

// One <meta ...> at position (just past "<meta" and its blank or slash).
std::string_view MetaTagCharset(std::string_view s, size_t& at) {
    std::set<std::string> seen;
    bool gotPragma = false;
    int needPragma = -1;  // unknown, false, true
    std::string_view charset;
    Attribute attribute;
    while (GetAttribute(s, at, attribute)) {
        if (!seen.insert(attribute.Name).second)
            continue;
        if (attribute.Name == "http-equiv") {
            if (attribute.Value == "content-type")
                gotPragma = true;
        } else if (attribute.Name == "content") {
            if (charset.empty()) {
                const std::string_view found = CharsetInMetaContent(attribute.Value);
                if (!found.empty()) {
                    charset = found;
                    needPragma = 1;
                }
            }
        } else if (attribute.Name == "charset") {
            charset = EncodingForLabel(attribute.Value);
            needPragma = 0;
        }
    }
    if (needPragma < 0 || (needPragma == 1 && !gotPragma) || charset.empty())
        return {};
    if (charset == "UTF-16LE" || charset == "UTF-16BE")
        return "UTF-8";
    if (charset == "x-user-defined")
        return "windows-1252";
    return charset;
}
}  // namespace

std::string_view ContentTypeCharset(std::string_view contentType) {
    // Parameters follow the first ";"; a quoted value may hold ";" itself.
    size_t at = contentType.find(';');
    while (at != std::string_view::npos && at < contentType.size()) {
        ++at;
        while (at < contentType.size() && IsSpace(static_cast<unsigned char>(contentType[at])))
            ++at;
        size_t end = at;
        while (end < contentType.size() && contentType[end] != '=' && contentType[end] != ';')
            ++end;
        std::string_view name = contentType.substr(at, end - at);
        while (!name.empty() && IsSpace(static_cast<unsigned char>(name.back())))
            name.remove_suffix(1);
        if (end >= contentType.size() || contentType[end] == ';') {
            at = end;
            continue;
        }
        size_t valueStart = end + 1;
        std::string_view value;
        if (valueStart < contentType.size() && contentType[valueStart] == '"') {
            const size_t close = contentType.find('"', valueStart + 1);
            value = contentType.substr(valueStart + 1, close == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : close - valueStart - 1);
            at = close == std::string_view::npos ? close : contentType.find(';', close);
        } else {
            const size_t semicolon = contentType.find(';', valueStart);
            value = contentType.substr(valueStart, semicolon == std::string_view::npos
                                                       ? std::string_view::npos
                                                       : semicolon - valueStart);
            at = semicolon;
        }
        if (name.size() == 7 && StartsWithNoCase(name, 0, "charset"))
            return value;
    }
    return {};
}

std::string_view MetaCharset(std::string_view page) {
    const std::string_view s = page.substr(0, MetaScanLength);
    size_t at = 0;
    while (at < s.size()) {
        if (s[at] != '<') {
            const size_t next = s.find('<', at);
            if (next == std::string_view::npos)
                break;
            at = next;
            continue;
        }
        if (s.compare(at, 4, "<!--") == 0) {
            const size_t close = s.find("-->", at + 2);
            if (close == std::string_view::npos)
                break;
            at = close + 3;
        } else if (StartsWithNoCase(s, at, "<meta") && at + 5 < s.size() &&
                   (IsSpace(static_cast<unsigned char>(s[at + 5])) || s[at + 5] == '/')) {
            at += 6;
            const std::string_view charset = MetaTagCharset(s, at);
            if (!charset.empty())
                return charset;
        } else if ((at + 1 < s.size() && IsLetter(s[at + 1])) ||
                   (at + 2 < s.size() && s[at + 1] == '/' && IsLetter(s[at + 2]))) {
            // Another tag: skip its name and its attributes.
            while (at < s.size() && !IsSpace(static_cast<unsigned char>(s[at])) && s[at] != '>')
                ++at;
            Attribute ignored;
            while (GetAttribute(s, at, ignored)) {
            }
            ++at;
        } else if (s.compare(at, 2, "<!") == 0 || s.compare(at, 2, "</") == 0 ||
                   s.compare(at, 2, "<?") == 0) {
            const size_t close = s.find('>', at + 2);
            if (close == std::string_view::npos)
                break;
            at = close + 1;
        } else {
            ++at;
        }
    }
    return {};
}

bool LooksLikeUtf8(std::string_view page) {
    const auto* p = reinterpret_cast<const unsigned char*>(page.data());
    const auto* end = p + page.size();
    bool multiByte = false;
    while (p < end) {
        // Plain ASCII, eight bytes at a time.
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int need = 0;
        unsigned char lower = 0x80, upper = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0)
                lower = 0xA0;
            if (b == 0xED)
                upper = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0)
                lower = 0x90;
            if (b == 0xF4)
                upper = 0x8F;
        } else {
            return false;
        }
        ++p;
        for (int i = 0; i < need; ++i, ++p) {
            if (p == end)
                return true;  // cut off by the end of the page
            if (*p < lower || *p > upper)
                return false;
            lower = 0x80;
            upper = 0xBF;
        }
        multiByte = true;
    }
    return multiByte;
}

TPageCharset DecidePageCharset(std::string_view contentType, std::string_view page) {
    // A byte-order mark comes first, as in browsers: a page that starts with
    // one was written in that encoding whatever a server's default says.
    if (page.substr(0, 3) == "\xEF\xBB\xBF")
        return {"UTF-8", TCharsetSource::ByteOrderMark};
    if (page.substr(0, 2) == "\xFE\xFF")
        return {"UTF-16BE", TCharsetSource::ByteOrderMark};
    if (page.substr(0, 2) == "\xFF\xFE")
        return {"UTF-16LE", TCharsetSource::ByteOrderMark};
    if (const std::string_view named = EncodingForLabel(ContentTypeCharset(contentType));
        !named.empty())
        return {named, TCharsetSource::Header};
    if (const std::string_view declared = MetaCharset(page); !declared.empty())
        return {declared, TCharsetSource::Meta};
    if (LooksLikeUtf8(page))
        return {"UTF-8", TCharsetSource::Utf8Guess};
    return {"gb18030", TCharsetSource::Default};
}

}  // namespace app
