#include "app/Markup.h"

namespace app {

std::string StripMarkup(const std::string& page) {
    std::string text;
    text.reserve(page.size());
    size_t position = 0;
    while (position < page.size()) {
        const size_t tagStart = page.find('<', position);
        if (tagStart == std::string::npos) {
            // No tag follows, so a ">" in the last run of text is ordinary text.
            text.append(page, position, std::string::npos);
            break;
        }
        // A ">" before a tag start closes nothing and is dropped.
        for (size_t i = position; i < tagStart; ++i)
            if (page[i] != '>')
                text.push_back(page[i]);

        const size_t tagEnd = page.find('>', tagStart + 1);
        if (tagEnd == std::string::npos) {
            // No ">" anywhere after this "<", so the rest holds no ">" to drop either.
            text.append(page, tagStart, std::string::npos);
            break;
        }
        position = tagEnd + 1;
    }
    return text;
}

}  // namespace app
