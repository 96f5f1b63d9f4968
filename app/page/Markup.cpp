#include "app/page/Markup.h"

#include <algorithm>
#include <cstring>

namespace app {

std::string StripMarkup(const std::string& page) {
    std::string text;
    StripMarkup(page, text);
    return text;
}

void StripMarkup(std::string_view page, std::string& text) {
    // Written through a pointer into room for the whole page: tags come every
    // few bytes on a real page, too often for a library call per piece.
    text.resize(page.size());
    char* out = text.data();
    const char* p = page.data();
    const char* end = p + page.size();
    // A ">" is dropped only while a "<" still follows it; after the last "<"
    // the rest of the page is ordinary text.
    const auto* lastTagStart = static_cast<const char*>(memrchr(p, '<', page.size()));
    while (p < end) {
        if (lastTagStart == nullptr || p > lastTagStart) {
            out = std::copy(p, end, out);
            break;
        }
        for (char c = *p; c != '<'; c = *++p)
            if (c != '>')
                *out++ = c;
        const char* tagEnd = p + 1;
        while (tagEnd < end && *tagEnd != '>')
            ++tagEnd;
        if (tagEnd == end) {
            // No ">" anywhere after this "<", so the rest holds no ">" to drop either.
            out = std::copy(p, end, out);
            break;
        }
        p = tagEnd + 1;
    }
    text.resize(static_cast<size_t>(out - text.data()));
}

}  // namespace app
