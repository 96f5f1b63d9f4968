#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rtl {

// A Windows-style profile (INI) file: "[section]" lines and "key=value" lines.
// The constructor reads the file once (a missing or unreadable file reads as
// empty); reads and writes then work in memory, and UpdateFile replaces the file
// on disk atomically in one write, however many keys changed. Section and key
// names compare without regard to ASCII case; values are bytes, passed through
// unchanged. Unknown sections, comments and line order survive a write.
class ProfileFile {
public:
    explicit ProfileFile(std::string fileName);
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    const std::string& FileName() const noexcept { return FFileName; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& fallback) const;
    // Decimal or "0x"/"$" hexadecimal; anything else reads as the fallback.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
    // An integer; any non-zero value is true.
    bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;

    // Changes the value in memory. A value with CR, LF or NUL cannot be stored in
    // a line and is refused with EInOutError "Unable to write to <file>"; a value
    // that would not read back unchanged (outer blanks or quotes) is quoted.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes the whole file: a temporary file in the same folder, flushed, then
    // renamed over the old one. On failure the old file is untouched and
    // EInOutError "Unable to write to <file>" is raised.
    void UpdateFile();

private:
    struct Contents;
    std::string FFileName;
    std::unique_ptr<Contents> FContents;
};

}  // namespace rtl
