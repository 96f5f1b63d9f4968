// The prompt and link file reader, against a reference that classifies the
// same lines by how they begin.
//
// Input: the bytes of "Message.ini".
//
// Properties:
// - CountPromptLines counts the lines without any "#";
// - PickPromptLine(i) is the i-th line (from 0) that does not begin with "#",
//   empty past the end and for a negative index;
// - ReadLinkCaptions lists the "#$" lines (without "#$"), each taking the line
//   after it as its target, at most MaxLinkEntries of them;
// - LinkTarget(tag) is that target line without its first two characters,
//   nothing for a tag the file does not hold, and agrees with the captions.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/watch/PromptFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Lines end at CR LF, LF or CR; a final line end starts no further line.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.push_back(line);
            line.clear();
            open = false;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

struct Entry {
    std::string Caption;
    std::string Target;
};

std::vector<Entry> Entries(const std::vector<std::string>& lines) {
    std::vector<Entry> entries;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with("#$"))
            continue;
        const std::string target = i + 1 < lines.size() ? lines[i + 1] : std::string();
        entries.push_back({lines[i].substr(2), target.size() > 2 ? target.substr(2) : ""});
        ++i;  // the target line is no caption of its own
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384)
        return -1;
    const std::string text = fuzz::Bytes(data, size);
    const std::string path = fuzz::ScratchFolder() + "/Message.ini";
    fuzz::WriteWholeFile(path, text);
    const std::vector<std::string> lines = Lines(text);

    const auto withoutHash = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find('#') == std::string::npos;
    });
    FUZZ_CHECK(app::CountPromptLines(path) == withoutHash);

    std::vector<std::string> prompts;
    for (const std::string& line : lines)
        if (!line.starts_with("#"))
            prompts.push_back(line);
    // Every prompt line of a short file; a sample of them in a long one.
    const auto count = static_cast<int32_t>(prompts.size());
    std::vector<int32_t> picks = {-2, -1, count, count + 1, count + 7};
    const int32_t step = std::max<int32_t>(1, count / 24);
    for (int32_t i = 0; i < count; i += step)
        picks.push_back(i);
    picks.push_back(count - 1);
    for (const int32_t i : picks) {
        const std::string expected = i >= 0 && i < count ? prompts[static_cast<size_t>(i)] : "";
        const std::string actual = app::PickPromptLine(path, i);
        FUZZ_CHECK(actual == expected, expected, actual);
    }

    const std::vector<Entry> entries = Entries(lines);
    const std::vector<std::string> captions = app::ReadLinkCaptions(path);
    const size_t shown = std::min<size_t>(entries.size(), app::MaxLinkEntries);
    FUZZ_CHECK(captions.size() == shown, std::to_string(shown), std::to_string(captions.size()));
    for (size_t i = 0; i < shown; ++i)
        FUZZ_CHECK(captions[i] == entries[i].Caption, entries[i].Caption, captions[i]);

    const auto held = static_cast<int32_t>(entries.size());
    std::vector<int32_t> tags = {-1, held, held + 1};
    const int32_t tagStep = std::max<int32_t>(1, held / 24);
    for (int32_t t = 0; t < held; t += tagStep)
        tags.push_back(t);
    if (held > 0)
        tags.push_back(held - 1);
    for (const int32_t t : tags) {
        const std::optional<std::string> target = app::LinkTarget(path, t);
        if (t < 0 || t >= held) {
            FUZZ_CHECK(!target.has_value(), "<none>", target.value_or(""));
        } else {
            const std::string& expected = entries[static_cast<size_t>(t)].Target;
            FUZZ_CHECK(target == expected, expected, target.value_or("<none>"));
        }
    }
    return 0;
}
