#pragma once

#include <string>

namespace app {

// Removes HTML mark-up from a page so that only the visible text is searched.
// A tag runs from a "<" to the next ">" (a "<" inside a tag belongs to the tag);
// a stray ">" outside a tag is dropped when a "<" still follows it, and kept in
// the text after the last tag; everything else, entities and line breaks
// included, stays as it was. A "<" that no ">" follows starts no tag: the text
// from it on is kept, so a nickname written after a broken tag is still found.
// One pass, linear in the page size.
std::string StripMarkup(const std::string& page);

}  // namespace app
