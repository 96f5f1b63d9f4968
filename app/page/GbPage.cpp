#include "app/page/GbPage.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "rtl/GbText.h"

namespace app {

namespace {
constexpr char32_t Replacement = 0xFFFD;

// GB18030 of every BMP code point, as iconv converts it, packed big-endian
// into 32 bits; the length follows from the value (below 0x80: one byte,
// below 0x10000: two, else four). Surrogates hold U+FFFD's bytes.
const std::vector<uint32_t>& BmpTable() {
    static const std::vector<uint32_t> table = [] {
        std::string utf32;
        utf32.reserve(0x10000 * 4);
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char32_t v = c >= 0xD800 && c <= 0xDFFF ? Replacement : c;
            for (int shift = 0; shift < 32; shift += 8)
                utf32.push_back(static_cast<char>((v >> shift) & 0xFF));
        }
        // A few private-use characters have no GB18030 form in the converter
        // (their codes went to other characters); they come out as U+FFFD.
        const std::string gb = rtl::GbFromCharset("UTF-32LE", utf32, 4);
        std::vector<uint32_t> packed(0x10000);
        size_t at = 0;
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (at >= gb.size())
                throw std::runtime_error("iconv gave too little GB18030");
            const auto b = [&](size_t i) { return static_cast<unsigned char>(gb[at + i]); };
            size_t length = 1;
            if (b(0) >= 0x80)
                length = at + 1 < gb.size() && b(1) >= 0x30 && b(1) <= 0x39 ? 4 : 2;
            if (at + length > gb.size())
                throw std::runtime_error("iconv gave a cut GB18030 character");
            uint32_t value = 0;
            for (size_t i = 0; i < length; ++i)
                value = (value << 8) | b(i);
            packed[c] = value;
            at += length;
        }
        return packed;
    }();
    return table;
}

// Appends the packed GB bytes; `p` has room for four more.
inline char* PutPacked(uint32_t value, char* p) {
    if (value < 0x80) {
        *p = static_cast<char>(value);
        return p + 1;
    }
    if (value < 0x10000) {
        p[0] = static_cast<char>(value >> 8);
        p[1] = static_cast<char>(value & 0xFF);
        return p + 2;
    }
    p[0] = static_cast<char>(value >> 24);
    p[1] = static_cast<char>((value >> 16) & 0xFF);
    p[2] = static_cast<char>((value >> 8) & 0xFF);
    p[3] = static_cast<char>(value & 0xFF);
    return p + 4;
}

// Characters beyond the BMP follow one linear rule in GB18030: they are the
// four-byte codes from 90 30 81 30 on, in code point order.
inline char* PutChar(const std::vector<uint32_t>& table, char32_t c, char* p) {
    if (c < 0x10000)
        return PutPacked(table[c], p);
    if (c > 0x10FFFF)
        return PutPacked(table[Replacement], p);
    uint32_t n = c - 0x10000;
    p[3] = static_cast<char>(0x30 + n % 10);
    n /= 10;
    p[2] = static_cast<char>(0x81 + n % 126);
    n /= 126;
    p[1] = static_cast<char>(0x30 + n % 10);
    n /= 10;
    p[0] = static_cast<char>(0x90 + n);
    return p + 4;
}

// UTF-8 as browsers decode it: each maximal invalid piece is one U+FFFD.
char* Utf8ToGb(std::string_view page, char* p) {
    const std::vector<uint32_t>& table = BmpTable();
    const auto* s = reinterpret_cast<const unsigned char*>(page.data());
    const auto* end = s + page.size();
    while (s < end) {
        if (end - s >= 8) {
            uint64_t word;
            std::memcpy(&word, s, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                std::memcpy(p, s, 8);
                p += 8;
                s += 8;
                continue;
            }
        }
        const unsigned char b = *s++;
        if (b < 0x80) {
            *p++ = static_cast<char>(b);
            continue;
        }
        int need = 0;
        unsigned char lower = 0x80, upper = 0xBF;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            c = b & 0x0F;
            lower = b == 0xE0 ? 0xA0 : 0x80;
            upper = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            c = b & 0x07;
            lower = b == 0xF0 ? 0x90 : 0x80;
            upper = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            p = PutPacked(table[Replacement], p);
            continue;
        }
        for (; need > 0; --need) {
            if (s == end || *s < lower || *s > upper)
                break;  // the byte that does not fit starts afresh
            c = (c << 6) | (*s++ & 0x3F);
            lower = 0x80;
            upper = 0xBF;
        }
        p = need == 0 ? PutChar(table, c, p) : PutPacked(table[Replacement], p);
    }
    return p;
}

// UTF-16 as browsers decode it: a lone surrogate or an odd last byte is U+FFFD.
char* Utf16ToGb(std::string_view page, bool bigEndian, char* p) {
    const std::vector<uint32_t>& table = BmpTable();
    const auto* s = reinterpret_cast<const unsigned char*>(page.data());
    const size_t units = page.size() / 2;
    const auto unit = [&](size_t i) -> char32_t {
        return bigEndian ? (s[2 * i] << 8) | s[2 * i + 1] : (s[2 * i + 1] << 8) | s[2 * i];
    };
    for (size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t next = unit(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                p = PutChar(table, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00), p);
                ++i;
                continue;
            }
        }
        p = PutChar(table, u >= 0xD800 && u <= 0xDFFF ? Replacement : u, p);
    }
    if (page.size() % 2 != 0)
        p = PutPacked(table[Replacement], p);
    return p;
}

// The iconv name of each encoding that goes through iconv itself.
const char* IconvName(std::string_view encoding) {
    static const std::pair<std::string_view, const char*> names[] = {
        {"IBM866", "CP866"},
        {"ISO-8859-2", "ISO-8859-2"},
        {"ISO-8859-3", "ISO-8859-3"},
        {"ISO-8859-4", "ISO-8859-4"},
        {"ISO-8859-5", "ISO-8859-5"},
        {"ISO-8859-6", "ISO-8859-6"},
        {"ISO-8859-7", "ISO-8859-7"},
        {"ISO-8859-8", "ISO-8859-8"},
        {"ISO-8859-8-I", "ISO-8859-8"},
        {"ISO-8859-10", "ISO-8859-10"},
        {"ISO-8859-13", "ISO-8859-13"},
        {"ISO-8859-14", "ISO-8859-14"},
        {"ISO-8859-15", "ISO-8859-15"},
        {"ISO-8859-16", "ISO-8859-16"},
        {"KOI8-R", "KOI8-R"},
        {"KOI8-U", "KOI8-U"},
        {"macintosh", "MACINTOSH"},
        {"windows-874", "WINDOWS-874"},
        {"windows-1250", "CP1250"},
        {"windows-1251", "CP1251"},
        {"windows-1252", "CP1252"},
        {"windows-1253", "CP1253"},
        {"windows-1254", "CP1254"},
        {"windows-1255", "CP1255"},
        {"windows-1256", "CP1256"},
        {"windows-1257", "CP1257"},
        {"windows-1258", "CP1258"},
        {"x-mac-cyrillic", "MAC-CYRILLIC"},
        // Browsers read these labels as the larger sets that contain them.
        {"Big5", "BIG5-HKSCS"},
        {"EUC-JP", "EUC-JP"},
        {"ISO-2022-JP", "ISO-2022-JP"},
        {"Shift_JIS", "WINDOWS-31J"},
        {"EUC-KR", "CP949"},
    };
    for (const auto& [name, iconvName] : names)
        if (name == encoding)
            return iconvName;
    return nullptr;
}
}  // namespace

bool IsGbEncoding(std::string_view encoding) {
    return encoding == "GBK" || encoding == "gb18030";
}

void AppendGbChar(char32_t codePoint, std::string& out) {
    char bytes[4];
    const char32_t c = codePoint >= 0xD800 && codePoint <= 0xDFFF ? Replacement : codePoint;
    out.append(bytes, static_cast<size_t>(PutChar(BmpTable(), c, bytes) - bytes));
}

void ConvertPageToGb(std::string_view encoding, std::string_view page, std::string& out) {
    if (IsGbEncoding(encoding)) {
        out.assign(page);
        return;
    }
    const bool utf8 = encoding == "UTF-8";
    const bool utf16le = encoding == "UTF-16LE";
    if (utf8 || utf16le || encoding == "UTF-16BE") {
        // A mark of the page's own encoding is not text.
        if (utf8 && page.substr(0, 3) == "\xEF\xBB\xBF")
            page.remove_prefix(3);
        else if (!utf8 && page.substr(0, 2) == (utf16le ? "\xFF\xFE" : "\xFE\xFF"))
            page.remove_prefix(2);
        // Room for the worst case: every byte a U+FFFD (four bytes), written
        // straight through a pointer; the text is then cut to what was written.
        out.resize(page.size() * 4 + 8);
        char* start = out.data();
        char* end = utf8 ? Utf8ToGb(page, start) : Utf16ToGb(page, !utf16le, start);
        out.resize(static_cast<size_t>(end - start));
        return;
    }
    if (encoding == "x-user-defined") {
        out.clear();
        for (const char byte : page) {
            const auto b = static_cast<unsigned char>(byte);
            AppendGbChar(b < 0x80 ? b : 0xF780 + (b - 0x80), out);
        }
        return;
    }
    if (const char* name = IconvName(encoding)) {
        out = rtl::GbFromCharset(name, page);
        return;
    }
    // "replacement" (labels whose encodings are unsafe to decode) and
    // anything unforeseen: the whole page is one U+FFFD, as in browsers.
    out.clear();
    if (!page.empty())
        AppendGbChar(Replacement, out);
}

}  // namespace app
