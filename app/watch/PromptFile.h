#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

// "Message.ini" holds prompt lines, comment lines (beginning with "#") and
// two-line link entries: a line beginning with "#$" carries a caption, and the
// line after it is the entry's target, its first two characters dropped. Each
// function reads the file once, from the start, and keeps nothing; a missing
// file raises rtl::EInOutError "File not found".

// The most link entries the link submenu shows; later entries are ignored.
inline constexpr int MaxLinkEntries = 1001;

// Lines that contain no "#" anywhere; an empty line counts.
int32_t CountPromptLines(const std::string& fileName);

// The prompt line number promptIndex (from 0), counting only lines that do not
// begin with "#". Past the end of the file the lines read as empty, so a short
// file (or a negative index) gives an empty prompt line.
std::string PickPromptLine(const std::string& fileName, int32_t promptIndex);

// The captions of the link entries in file order; entry i has tag i.
std::vector<std::string> ReadLinkCaptions(const std::string& fileName);

// The target of link entry tag, or nothing when the file no longer has that
// entry. The target of a "#$" line that ends the file is empty.
std::optional<std::string> LinkTarget(const std::string& fileName, int32_t tag);

}  // namespace app
