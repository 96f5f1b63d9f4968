#include "rtl/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string_view>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/IntConv.h"
#include "rtl/TextFile.h"

namespace rtl {

namespace {

std::atomic<uint64_t> GReads{0};
std::atomic<uint64_t> GReplaces{0};

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view LineEnd = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

bool HasOuterQuotes(std::string_view text) {
    return text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front();
}

// The value a key line's text stands for: blanks stripped, then one outer pair of
// matching quotes.
std::string_view Unquote(std::string_view raw) {
    const std::string_view text = Trim(raw);
    return HasOuterQuotes(text) ? text.substr(1, text.size() - 2) : text;
}

// The text to store so that Unquote gives the value back exactly.
std::string Encode(const std::string& value) {
    const bool needsQuotes = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                                HasOuterQuotes(value));
    return needsQuotes ? "\"" + value + "\"" : value;
}

// Names compare without regard to ASCII case. The bytes after a GB lead byte
// belong to a Chinese character and overlap the ASCII letters, so they are left
// as they are: folding them would make two different names equal.
std::string Fold(std::string_view name) {
    std::string folded(Trim(name));
    for (size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (c >= 0x81 && c <= 0xFE) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            folded[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

bool HoldsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

struct KeyEntry {
    bool InFile = false;  // a line of the file as read
    size_t ValueBegin = 0;
    size_t ValueEnd = 0;
    size_t LineEnd = 0;    // offset after the line's end
    bool Changed = false;  // Value replaces the file's text
    std::string Name;      // spelling of a key that is not in the file yet
    std::string Value;
};

struct Section {
    bool InFile = false;
    std::string Name;  // spelling of a section that is not in the file yet
    // Where new keys go: after the last key line of the section's first copy,
    // or after its header when it has none.
    size_t Anchor = 0;
    std::vector<size_t> Added;  // new keys, in the order they were written
    std::map<std::string, size_t, std::less<>> Keys;
};

}  // namespace

struct ProfileFile::Contents {
    std::string Bom;
    std::string Text;
    // The file exists but could not be read: writing it would destroy what we
    // could not see, so UpdateFile refuses.
    bool Unreadable = false;
    std::vector<KeyEntry> Entries;
    std::vector<Section> Sections;
    std::map<std::string, size_t, std::less<>> SectionIndex;
    std::vector<size_t> AddedSections;

    void Load(const std::string& fileName);
    void Parse();
    const KeyEntry* Find(const std::string& section, const std::string& key) const;
    std::string ValueOf(const KeyEntry& entry) const;
    std::string Render() const;
    void AppendKeyLine(std::string& out, const KeyEntry& entry) const;
    void EndLastLine(std::string& out) const;
};

void ProfileFile::Contents::Load(const std::string& fileName) {
    GReads.fetch_add(1, std::memory_order_relaxed);
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Unreadable = errno != ENOENT;
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0)
        Text.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            Unreadable = true;
            Text.clear();
            break;
        }
        Text.append(chunk, static_cast<size_t>(count));
    }
    ::close(fd);
    if (std::string_view(Text).starts_with(Utf8Bom)) {
        Bom = Utf8Bom;
        Text.erase(0, Utf8Bom.size());
    }
}

void ProfileFile::Contents::Parse() {
    const std::string_view text = Text;
    // Index of the section whose first copy is being read; none before the first
    // header and inside later copies of a section, whose keys cannot be read.
    constexpr size_t None = SIZE_MAX;
    size_t current = None;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(LineEnd, pos);
        if (end == std::string_view::npos)
            end = text.size();
        size_t next = end;
        if (next < text.size())
            next += text.substr(next, 2) == LineEnd ? 2 : 1;

        const std::string_view line = text.substr(pos, end - pos);
        size_t first = 0;
        while (first < line.size() && IsBlank(line[first]))
            ++first;
        if (first < line.size() && line[first] == '[') {
            const size_t close = line.find(']', first + 1);
            const std::string_view name =
                line.substr(first + 1, close == std::string_view::npos ? std::string_view::npos
                                                                       : close - first - 1);
            auto [found, inserted] = SectionIndex.try_emplace(Fold(name), Sections.size());
            if (inserted) {
                Section section;
                section.InFile = true;
                section.Anchor = next;
                Sections.push_back(std::move(section));
                current = found->second;
            } else {
                current = None;
            }
        } else if (current != None && first < line.size() && line[first] != ';') {
            const size_t equals = line.find('=', first);
            if (equals != std::string_view::npos) {
                Section& section = Sections[current];
                section.Anchor = next;
                auto [found, inserted] = section.Keys.try_emplace(
                    Fold(line.substr(first, equals - first)), Entries.size());
                if (inserted) {
                    KeyEntry entry;
                    entry.InFile = true;
                    entry.ValueBegin = pos + equals + 1;
                    entry.ValueEnd = end;
                    entry.LineEnd = next;
                    Entries.push_back(std::move(entry));
                }
            }
        }
        pos = next;
    }
}

const KeyEntry* ProfileFile::Contents::Find(const std::string& section,
                                            const std::string& key) const {
    const auto foundSection = SectionIndex.find(Fold(section));
    if (foundSection == SectionIndex.end())
        return nullptr;
    const Section& keys = Sections[foundSection->second];
    const auto foundKey = keys.Keys.find(Fold(key));
    return foundKey == keys.Keys.end() ? nullptr : &Entries[foundKey->second];
}

std::string ProfileFile::Contents::ValueOf(const KeyEntry& entry) const {
    if (!entry.InFile || entry.Changed)
        return entry.Value;
    std::string_view raw =
        std::string_view(Text).substr(entry.ValueBegin, entry.ValueEnd - entry.ValueBegin);
    // A value ends at a NUL byte, as a C string does. The writer cannot store a
    // NUL, so a value read with one could never be written back: the save at
    // close would fail for good and the window could not be closed.
    raw = raw.substr(0, raw.find('\0'));
    return std::string(Unquote(raw));
}

void ProfileFile::Contents::EndLastLine(std::string& out) const {
    if (out.size() > Bom.size() && out.back() != '\n' && out.back() != '\r')
        out += LineEnd;
}

void ProfileFile::Contents::AppendKeyLine(std::string& out, const KeyEntry& entry) const {
    out += entry.Name;
    out += '=';
    out += Encode(entry.Value);
    out += LineEnd;
}

std::string ProfileFile::Contents::Render() const {
    // Changes to the file's own text, applied in file order: a changed value
    // replaces the rest of its line, new keys go in at their section's anchor.
    struct Edit {
        size_t Offset;
        int Kind;  // 0: changed value, 1: new keys; a value sorts before keys at one offset
        size_t Index;
        bool operator<(const Edit& other) const {
            return Offset != other.Offset ? Offset < other.Offset : Kind < other.Kind;
        }
    };
    std::vector<Edit> edits;
    for (size_t i = 0; i < Entries.size(); ++i)
        if (Entries[i].InFile && Entries[i].Changed)
            edits.push_back({Entries[i].ValueBegin, 0, i});
    for (size_t i = 0; i < Sections.size(); ++i)
        if (Sections[i].InFile && !Sections[i].Added.empty())
            edits.push_back({Sections[i].Anchor, 1, i});
    std::sort(edits.begin(), edits.end());

    std::string out;
    out.reserve(Bom.size() + Text.size() + 64 * Entries.size());
    out += Bom;
    size_t pos = 0;
    for (const Edit& edit : edits) {
        out.append(Text, pos, edit.Offset - pos);
        if (edit.Kind == 0) {
            const KeyEntry& entry = Entries[edit.Index];
            out += Encode(entry.Value);
            out += LineEnd;
            pos = entry.LineEnd;
        } else {
            EndLastLine(out);
            for (size_t key : Sections[edit.Index].Added)
                AppendKeyLine(out, Entries[key]);
            pos = edit.Offset;
        }
    }
    out.append(Text, pos);
    for (size_t index : AddedSections) {
        const Section& section = Sections[index];
        EndLastLine(out);
        out += '[';
        out += section.Name;
        out += ']';
        out += LineEnd;
        for (size_t key : section.Added)
            AppendKeyLine(out, Entries[key]);
    }
    return out;
}

ProfileFile::ProfileFile(std::string fileName)
    : FFileName(std::move(fileName)), FContents(std::make_unique<Contents>()) {
    FContents->Load(FFileName);
    FContents->Parse();
}

ProfileFile::~ProfileFile() = default;

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& fallback) const {
    const KeyEntry* entry = FContents->Find(section, key);
    return entry ? FContents->ValueOf(*entry) : fallback;
}

int32_t ProfileFile::ReadInteger(const std::string& section, const std::string& key,
                                 int32_t fallback) const {
    const KeyEntry* entry = FContents->Find(section, key);
    return entry ? StrToIntDef(FContents->ValueOf(*entry), fallback) : fallback;
}

bool ProfileFile::ReadBool(const std::string& section, const std::string& key,
                           bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    // Only what reads back as written can be stored: no line breaks or NULs
    // anywhere, no names that the reader would trim or take for something else.
    const bool badSection = HoldsLineBreakOrNul(section) ||
                            section.find(']') != std::string::npos ||
                            Trim(section).size() != section.size();
    const bool badKey = HoldsLineBreakOrNul(key) || key.find('=') != std::string::npos ||
                        Trim(key).size() != key.size() ||
                        (!key.empty() && (key.front() == ';' || key.front() == '['));
    if (badSection || badKey || HoldsLineBreakOrNul(value))
        throw EInOutError("Unable to write to " + FFileName);

    Contents& contents = *FContents;
    auto [foundSection, newSection] =
        contents.SectionIndex.try_emplace(Fold(section), contents.Sections.size());
    if (newSection) {
        Section added;
        added.Name = section;
        contents.Sections.push_back(std::move(added));
        contents.AddedSections.push_back(foundSection->second);
    }
    Section& target = contents.Sections[foundSection->second];
    auto [foundKey, newKey] = target.Keys.try_emplace(Fold(key), contents.Entries.size());
    if (newKey) {
        KeyEntry entry;
        entry.Name = key;
        entry.Value = value;
        contents.Entries.push_back(std::move(entry));
        target.Added.push_back(foundKey->second);
        return;
    }
    KeyEntry& entry = contents.Entries[foundKey->second];
    // An unchanged value leaves its line exactly as it was.
    if (contents.ValueOf(entry) == value)
        return;
    entry.Changed = true;
    entry.Value = value;
}

void ProfileFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, IntToStr(value));
}

void ProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void ProfileFile::UpdateFile() {
    if (FContents->Unreadable || !ReplaceWholeFile(FFileName, FContents->Render()))
        throw EInOutError("Unable to write to " + FFileName);
    GReplaces.fetch_add(1, std::memory_order_relaxed);
}

ProfileFileIoCounts ProfileFileIo() {
    return {GReads.load(std::memory_order_relaxed), GReplaces.load(std::memory_order_relaxed)};
}

}  // namespace rtl
