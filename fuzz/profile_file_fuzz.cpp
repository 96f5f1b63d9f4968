// The profile (INI) reader and writer against a plain reference reader.
//
// Input: the file's bytes, optionally followed by a line "@@@" and one
// operation per line, fields separated by "|" (escapes: \n \r \0 \| \\):
//   W|section|key|value   WriteString
//   I|section|key|number  WriteInteger
//   R|section|key         probe a read
//   U                     UpdateFile, then read the file back from disk
//
// Properties:
// - every read agrees with the reference reader over the same bytes (a value
//   ends at its line end or at a NUL), for every
//   section and key name the file mentions and every probe;
// - a write the writer accepts reads back unchanged, from memory, from the
//   written file through the reference reader, and after a reload;
// - a write with CR, LF or NUL in the value is refused; one with a plain
//   section and key name and a clean value is accepted;
// - without accepted changes, UpdateFile writes the file back byte for byte.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "rtl/Exceptions.h"
#include "rtl/IntConv.h"
#include "rtl/ProfileFile.h"

namespace {

// ---- Reference reader: the format rules written out line by line ----------

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && Blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && Blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// ASCII letters fold to lower case, except the second byte of a GB character
// (after a lead byte 0x81..0xFE), which is part of that character.
std::string NameKey(std::string_view name) {
    std::string text = Trimmed(name);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE)
            ++i;
        else if (c >= 'A' && c <= 'Z')
            text[i] = static_cast<char>(c + 32);
    }
    return text;
}

std::vector<std::string> Lines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// The section name of a header line, or nothing for another line.
std::optional<std::string> HeaderName(const std::string& line) {
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] != '[')
        return std::nullopt;
    const size_t close = text.find(']');
    // Trimmed(line) dropped trailing blanks that an unclosed name would keep;
    // they do not matter, since names are compared trimmed.
    return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

std::optional<std::string> ReferenceRead(std::string_view file, const std::string& section,
                                         const std::string& key) {
    const std::string wantedSection = NameKey(section);
    const std::string wantedKey = NameKey(key);
    std::set<std::string> seen;
    bool inside = false;
    for (const std::string& line : Lines(file)) {
        if (const auto name = HeaderName(line)) {
            const std::string folded = NameKey(*name);
            inside = folded == wantedSection && !seen.contains(folded);
            seen.insert(folded);
            continue;
        }
        const std::string text = Trimmed(line);
        if (!inside || text.empty() || text[0] == ';')
            continue;
        const size_t equals = text.find('=');
        if (equals == std::string::npos || NameKey(text.substr(0, equals)) != wantedKey)
            continue;
        // A value ends at a NUL, as a C string does.
        const std::string raw = text.substr(equals + 1);
        std::string value = Trimmed(raw.substr(0, raw.find('\0')));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

// Every section and key name the file mentions, as written there.
void NamesIn(std::string_view file, std::vector<std::string>& sections,
             std::vector<std::string>& keys) {
    for (const std::string& line : Lines(file)) {
        if (const auto name = HeaderName(line)) {
            sections.push_back(*name);
        } else if (const size_t equals = line.find('='); equals != std::string::npos) {
            keys.push_back(line.substr(0, equals));
        }
    }
}

// ---- Operations --------------------------------------------------------------

struct Operation {
    char Kind = 0;
    std::vector<std::string> Fields;
};

std::vector<std::string> SplitFields(std::string_view line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '|') {
            fields.emplace_back();
            continue;
        }
        if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            c = next == 'n' ? '\n' : next == 'r' ? '\r' : next == '0' ? '\0' : next;
        }
        fields.back() += c;
    }
    return fields;
}

std::vector<Operation> ParseOperations(std::string_view text) {
    std::vector<Operation> operations;
    size_t pos = 0;
    while (pos < text.size() && operations.size() < 64) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::vector<std::string> fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;
        if (fields[0].size() != 1)
            continue;
        Operation operation;
        operation.Kind = fields[0][0];
        operation.Fields.assign(fields.begin() + 1, fields.end());
        operation.Fields.resize(3);
        operations.push_back(std::move(operation));
    }
    return operations;
}

bool HasBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool PlainName(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (!((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
              c == '_' || c == '.' || b >= 0x80))
            return false;
    }
    return true;
}

// ---- The run -------------------------------------------------------------------

class Run {
public:
    Run(std::string path, std::string original)
        : FPath(std::move(path)), FOriginal(std::move(original)) {
        fuzz::WriteWholeFile(FPath, FOriginal);
        FFile = std::make_unique<rtl::ProfileFile>(FPath);
        NamesIn(FOriginal, FSections, FKeys);
    }

    void CheckAll() const {
        for (const auto& [section, key] : AllNames())
            Check(*FFile, section, key);
    }

    void Probe(const std::string& section, const std::string& key) {
        FProbes.emplace_back(section, key);
        Check(*FFile, section, key);
    }

    void Write(const std::string& section, const std::string& key, const std::string& value,
               bool asInteger, int32_t number) {
        const bool wasPresent = Expected(section, key).has_value();
        const bool same = Expected(section, key) == value;
        bool accepted = true;
        try {
            if (asInteger)
                FFile->WriteInteger(section, key, number);
            else
                FFile->WriteString(section, key, value);
        } catch (const rtl::EInOutError&) {
            accepted = false;
        }
        FUZZ_CHECK(accepted || !PlainName(section) || !PlainName(key) || HasBreakOrNul(value),
                   section + "|" + key, value);
        FUZZ_CHECK(!accepted || !HasBreakOrNul(value), "refused", value);
        if (!accepted)
            return;
        FWritten[{NameKey(section), NameKey(key)}] = value;
        FProbes.emplace_back(section, key);
        FChanged = FChanged || !wasPresent || !same;
        FUZZ_CHECK(FFile->ReadString(section, key, "\x01missing") == value, value,
                   FFile->ReadString(section, key, "\x01missing"));
        if (asInteger)
            FUZZ_CHECK(FFile->ReadInteger(section, key, number ^ 1) == number, value);
        Check(*FFile, section, key);
    }

    void UpdateAndReload() {
        FFile->UpdateFile();
        const std::string written = fuzz::ReadWholeFile(FPath);
        if (!FChanged)
            FUZZ_CHECK(written == FOriginal, FOriginal, written);
        auto reloaded = std::make_unique<rtl::ProfileFile>(FPath);
        for (const auto& [section, key] : AllNames()) {
            const auto expected = Expected(section, key);
            const auto fromDisk = ReferenceRead(written, section, key);
            FUZZ_CHECK(fromDisk == expected, expected.value_or("<none>"),
                       fromDisk.value_or("<none>"));
            Check(*reloaded, section, key);
        }
        FFile = std::move(reloaded);
    }

    std::vector<std::pair<std::string, std::string>> AllNames() const {
        std::vector<std::pair<std::string, std::string>> names = FProbes;
        for (size_t s = 0; s < FSections.size() && s < 32; ++s)
            for (size_t k = 0; k < FKeys.size() && k < 32; ++k)
                names.emplace_back(FSections[s], FKeys[k]);
        return names;
    }

    // What a read must return: the last accepted write to that name, else what
    // the original file holds.
    std::optional<std::string> Expected(const std::string& section, const std::string& key) const {
        const auto found = FWritten.find({NameKey(section), NameKey(key)});
        if (found != FWritten.end())
            return found->second;
        return ReferenceRead(FOriginal, section, key);
    }

    void Check(const rtl::ProfileFile& file, const std::string& section,
               const std::string& key) const {
        const auto expected = Expected(section, key);
        // Two fallbacks tell a missing key from one that holds a fallback's text.
        const std::string first = file.ReadString(section, key,
                                                  "\x01"
                                                  "a");
        const std::string second = file.ReadString(section, key,
                                                   "\x01"
                                                   "b");
        const std::optional<std::string> actual =
            first == second ? std::optional<std::string>(first) : std::nullopt;
        FUZZ_CHECK(actual == expected, expected.value_or("<none>"), actual.value_or("<none>"));
        const int32_t number = file.ReadInteger(section, key, 12345);
        FUZZ_CHECK(number == (expected ? rtl::StrToIntDef(*expected, 12345) : 12345),
                   expected.value_or("<none>"), std::to_string(number));
    }

private:
    std::string FPath;
    std::string FOriginal;
    std::unique_ptr<rtl::ProfileFile> FFile;
    std::vector<std::string> FSections;
    std::vector<std::string> FKeys;
    std::vector<std::pair<std::string, std::string>> FProbes;
    std::map<std::pair<std::string, std::string>, std::string> FWritten;
    bool FChanged = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192)
        return -1;
    const std::string input = fuzz::Bytes(data, size);
    std::string fileText = input;
    std::string operationText;
    if (input.starts_with("@@@\n")) {
        fileText.clear();
        operationText = input.substr(4);
    } else if (const size_t mark = input.find("\n@@@\n"); mark != std::string::npos) {
        fileText = input.substr(0, mark + 1);
        operationText = input.substr(mark + 5);
    }

    Run run(fuzz::ScratchFolder() + "/perchly.ini", fileText);
    run.CheckAll();
    for (const Operation& operation : ParseOperations(operationText)) {
        const std::vector<std::string>& f = operation.Fields;
        switch (operation.Kind) {
            case 'W':
                run.Write(f[0], f[1], f[2], false, 0);
                break;
            case 'I': {
                const int32_t number = rtl::StrToIntDef(f[2], static_cast<int32_t>(f[2].size()));
                run.Write(f[0], f[1], rtl::IntToStr(number), true, number);
                break;
            }
            case 'R':
                run.Probe(f[0], f[1]);
                break;
            case 'U':
                run.UpdateAndReload();
                break;
            default:
                break;
        }
    }
    run.UpdateAndReload();
    return 0;
}
