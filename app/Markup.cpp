#include "app/Markup.h"

#include <cstring>

namespace app {

std::string StripMarkup(const std::string& page) {
    std::string text;
    StripMarkup(page, text);
    return text;
}

void StripMarkup(std::string_view page, std::string& text) {
    text.clear();
    text.reserve(page.size());
    const char* base = page.data();
    const char* end = base + page.size();
    const char* position = base;
    while (position < end) {
        const auto* tagStart = static_cast<const char*>(std::memchr(position, '<', end - position));
        if (tagStart == nullptr) {
            // No tag follows, so a ">" in the last run of text is ordinary text.
            text.append(position, end);
            break;
        }
        // A ">" before a tag start closes nothing and is dropped.
        while (position < tagStart) {
            const auto* stray =
                static_cast<const char*>(std::memchr(position, '>', tagStart - position));
            const char* stop = stray ? stray : tagStart;
            text.append(position, stop);
            position = stray ? stray + 1 : tagStart;
        }
        const auto* tagEnd =
            static_cast<const char*>(std::memchr(tagStart + 1, '>', end - tagStart - 1));
        if (tagEnd == nullptr) {
            // No ">" anywhere after this "<", so the rest holds no ">" to drop either.
            text.append(tagStart, end);
            break;
        }
        position = tagEnd + 1;
    }
}

}  // namespace app
