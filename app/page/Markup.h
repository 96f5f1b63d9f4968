#pragma once

#include <string>
#include <string_view>

namespace app {

// Removes HTML mark-up from a page so that only the visible text is searched.
// A tag runs from a "<" to the next ">" (a "<" inside a tag belongs to the tag);
// a stray ">" outside a tag is dropped when a "<" still follows it, and kept in
// the text after the last tag; everything else, entities and line breaks
// included, stays as it was. A "<" that no ">" follows starts no tag: the text
// from it on is kept, so a nickname written after a broken tag is still found.
// One pass, linear in the page size.
std::string StripMarkup(const std::string& page);

// The same into text, whose room is kept for the next page.
void StripMarkup(std::string_view page, std::string& text);

}  // namespace app
