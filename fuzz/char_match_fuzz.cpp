// Whole-character matching against a reference that decodes to code points
// first. Input: the first byte picks how the rest is read.
//  - even: the rest chooses characters from a small alphabet made to collide
//    across character boundaries (ASCII, digits, two-byte characters whose
//    trail bytes are lead bytes too, four-byte characters); a 0xFF byte
//    separates the text from up to four names. Text and names are encoded
//    to GB18030 by iconv, decoded back to code points by iconv, and a name is
//    present when its code points stand in the text's.
//  - odd: the rest is raw bytes, text and names separated by 0xFF; where
//    iconv decodes all of them strictly the same reference applies, else
//    only that every hit is a byte-wise occurrence.
// Properties: TSearchText::Contains and FindNames agree with the reference
// and with each other.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/page/TargetMatch.h"
#include "fuzz/FuzzSupport.h"
#include "rtl/GbText.h"

namespace {
// 男 C4D0, 切 C7D0, 球 C7F2, 星 D0C7, U+0080 81308130, 𠀀 95328236, 1 '1',
// 0 '0', a, @ (0x40, a trail byte too), é A8A6, U+00A0 81308436.
const char32_t Alphabet[] = {0x7537, 0x5207, 0x7403, 0x661F, 0x80, 0x20000,
                             '1',    '0',    'a',    '@',    0xE9, 0xA0};

std::string Gb(const std::u32string& text) {
    return rtl::GbFromCharset(
        "UTF-32LE", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 4), 4);
}

// Code points of strict GB18030 text, each with its byte offset; false when
// the text is not valid GB18030.
bool Decode(const std::string& gb, std::u32string& points, std::vector<size_t>& offsets) {
    points.clear();
    offsets.clear();
    for (size_t at = 0; at < gb.size();) {
        bool done = false;
        for (size_t length : {1u, 2u, 4u}) {
            if (at + length > gb.size())
                break;
            const std::string piece = gb.substr(at, length);
            const std::string back =
                rtl::GbFromCharset("GB18030", piece);  // valid pieces come back unchanged
            if (back != piece || back.find("\x84\x31\xA4\x37") != std::string::npos)
                continue;
            // One character exactly: the piece is not two shorter ones.
            if (length > 1 && rtl::GbFromCharset("GB18030", gb.substr(at, 1)) == gb.substr(at, 1))
                continue;
            const QString text = rtl::FromGb(piece);
            const std::u32string utf32 = text.toStdU32String();
            if (utf32.size() != 1)
                continue;
            points += utf32[0];
            offsets.push_back(at);
            at += length;
            done = true;
            break;
        }
        if (!done)
            return false;
    }
    return true;
}

bool ReferencePresent(const std::u32string& text, const std::u32string& name) {
    return !name.empty() &&
           std::search(text.begin(), text.end(), name.begin(), name.end()) != text.end();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 512)
        return -1;
    std::vector<std::string> parts(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFF && parts.size() < 5) {
            parts.emplace_back();
            continue;
        }
        if (data[0] % 2 == 0)
            parts.back() += Gb(std::u32string(1, Alphabet[data[i] % std::size(Alphabet)]));
        else
            parts.back() += static_cast<char>(data[i]);
    }
    const std::string& text = parts[0];
    const std::vector<std::string> names(parts.begin() + 1, parts.end());
    std::vector<std::string_view> views(names.begin(), names.end());
    app::TSearchText all(text);
    std::vector<bool> found;
    app::FindNames(all, views, found);

    std::u32string textPoints, namePoints;
    std::vector<size_t> offsets, ignored;
    const bool textValid = Decode(text, textPoints, offsets);
    for (size_t i = 0; i < names.size(); ++i) {
        app::TSearchText one(text);
        const bool hit = one.Contains(names[i]);
        FUZZ_CHECK(hit == found[i], names[i], text);
        if (hit)
            FUZZ_CHECK(text.find(names[i]) != std::string::npos, names[i], text);
        if (textValid && Decode(names[i], namePoints, ignored))
            FUZZ_CHECK(hit == ReferencePresent(textPoints, namePoints), names[i], text);
    }
    return 0;
}
