#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// A GB18030 text in which nicknames are searched. A nickname counts only where
// it begins on a character boundary: a byte-wise hit that starts inside a two-
// or four-byte character (the tail of one character and the head of the next)
// is no hit, though a later one on a boundary still is. Characters are 1 byte
// (ASCII, and a stray byte that starts no character), 2 bytes (lead 81..FE,
// trail 40..7E or 80..FE) or 4 bytes (lead, 30..39, lead, 30..39). The
// boundaries are worked out once per text, only as far as a hit needs them,
// so many nicknames cost no more than one walk over the text; pure ASCII is
// never walked at all.
class TSearchText {
public:
    explicit TSearchText(std::string_view text);
    bool Contains(std::string_view name);
    // True when name stands at position, which is a character start.
    bool StartsAt(size_t position, std::string_view name);
    std::string_view Text() const { return FText; }

private:
    bool IsCharStart(size_t position);

    std::string_view FText;
    bool FAscii = false;
    std::vector<uint64_t> FStarts;  // one bit per byte: a character starts there
    size_t FWalked = 0;             // the bits below this are known
};

// Marks in found (as long as names) each name that occurs in text on a
// character start; names already marked are not looked for again. One walk
// over the text for all names, with a filter on each position's first two
// bytes, so a hundred nicknames cost about as much as one.
void FindNames(TSearchText& text, const std::vector<std::string_view>& names,
               std::vector<bool>& found);

// The byte length of the GB18030 character at text[position] (1, 2 or 4).
size_t GbCharLength(std::string_view text, size_t position);

}  // namespace app
