#include "app/watch/PromptFile.h"

#include "rtl/TextFile.h"

namespace app {

namespace {
bool IsComment(const std::string& line) {
    return !line.empty() && line[0] == '#';
}
bool IsLinkCaption(const std::string& line) {
    return line.size() >= 2 && line[0] == '#' && line[1] == '$';
}
std::string DropTwo(const std::string& line) {
    return line.size() > 2 ? line.substr(2) : std::string();
}
}  // namespace

int32_t CountPromptLines(const std::string& fileName) {
    rtl::TextFileReader reader(fileName);
    int32_t count = 0;
    while (!reader.Eof())
        if (reader.ReadLn().find('#') == std::string::npos)
            ++count;
    return count;
}

std::string PickPromptLine(const std::string& fileName, int32_t promptIndex) {
    rtl::TextFileReader reader(fileName);
    std::string line;
    for (int32_t counter = -1; counter < promptIndex;) {
        if (reader.Eof())
            return {};  // every further line reads as an empty prompt line
        line = reader.ReadLn();
        if (!IsComment(line))
            ++counter;
    }
    return line;
}

std::vector<std::string> ReadLinkCaptions(const std::string& fileName) {
    rtl::TextFileReader reader(fileName);
    std::vector<std::string> captions;
    while (!reader.Eof() && captions.size() < static_cast<size_t>(MaxLinkEntries)) {
        const std::string line = reader.ReadLn();
        if (!IsLinkCaption(line))
            continue;
        captions.push_back(DropTwo(line));
        reader.ReadLn();  // the entry's target line makes no entry of its own
    }
    return captions;
}

std::optional<std::string> LinkTarget(const std::string& fileName, int32_t tag) {
    rtl::TextFileReader reader(fileName);
    int32_t entry = 0;
    while (!reader.Eof()) {
        if (!IsLinkCaption(reader.ReadLn()))
            continue;
        const std::string target = reader.ReadLn();
        if (entry == tag)
            return DropTwo(target);
        ++entry;
    }
    return std::nullopt;
}

}  // namespace app
