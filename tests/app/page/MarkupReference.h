#pragma once

#include <string>

namespace testref {

// The mark-up removal written out step by step, as plainly as possible, to check
// the one-pass version against. Deliberately slow (each deletion moves the rest
// of the text), so it is only fit for small inputs:
//   while the text has a "<": delete every ">" before the first "<", then
//   delete from that "<" to the first ">" after it. A "<" with no ">" after it
//   ends the removal and keeps the rest of the text.
inline std::string ReferenceStripMarkup(std::string text) {
    for (;;) {
        size_t first = text.find('<');
        if (first == std::string::npos)
            return text;
        for (size_t close = text.find('>'); close != std::string::npos && close < first;
             close = text.find('>')) {
            text.erase(close, 1);
            --first;
        }
        const size_t end = text.find('>');
        if (end == std::string::npos)
            return text;
        text.erase(first, end - first + 1);
    }
}

}  // namespace testref
