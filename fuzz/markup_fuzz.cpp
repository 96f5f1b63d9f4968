// Mark-up stripping against the removal written out as the watch cycle
// describes it: while the text holds a "<", delete every ">" before the first
// "<", then delete from that "<" through the first ">" after it. A "<" that no
// ">" follows keeps the rest of the text. The reference moves the whole text
// on every deletion, so inputs are kept small.
//
// Properties: the one-pass stripping gives the reference's bytes, and its
// output is a subsequence of the page that holds no "<" followed by a ">".

#include <cstdint>
#include <string>

#include "app/page/Markup.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::string StepByStep(std::string text) {
    for (;;) {
        size_t open = text.find('<');
        if (open == std::string::npos)
            return text;
        for (size_t i = 0; i < open;) {
            if (text[i] == '>') {
                text.erase(i, 1);
                --open;
            } else {
                ++i;
            }
        }
        const size_t close = text.find('>', open);
        if (close == std::string::npos)
            return text;
        text.erase(open, close - open + 1);
    }
}

bool IsSubsequence(const std::string& part, const std::string& whole) {
    size_t i = 0;
    for (size_t j = 0; i < part.size() && j < whole.size(); ++j)
        if (part[i] == whole[j])
            ++i;
    return i == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048)
        return -1;
    const std::string page = fuzz::Bytes(data, size);
    const std::string text = app::StripMarkup(page);
    const std::string expected = StepByStep(page);
    FUZZ_CHECK(text == expected, expected, text);
    FUZZ_CHECK(IsSubsequence(text, page), page, text);
    const size_t open = text.find('<');
    FUZZ_CHECK(open == std::string::npos || text.find('>', open) == std::string::npos, "", text);
    return 0;
}
