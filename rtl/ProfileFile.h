#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rtl {

// A Windows-style profile (INI) file: "[section]" lines and "key=value" lines.
// The constructor reads the file once (a missing file reads as empty); reads and
// writes then work in memory, and UpdateFile replaces the file on disk atomically
// in one write, however many keys changed. Section and key names compare without
// regard to ASCII case; values are bytes, passed through unchanged. Unknown
// sections, comments and line order survive a write, byte for byte.
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
    // a line and is refused with EInOutError "Unable to write to <file>", as is a
    // section or key name that could not be read back; a value that would not
    // read back unchanged (outer blanks or quotes) is written inside double quotes.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes the whole file: a temporary file in the same folder, flushed to disk,
    // then renamed over the old one. On failure the old file is untouched, the
    // temporary removed, and EInOutError "Unable to write to <file>" is raised.
    // A file that exists but could not be read is never overwritten.
    void UpdateFile();

private:
    struct Contents;
    std::string FFileName;
    std::unique_ptr<Contents> FContents;
};

// How often profile files were read and replaced in this process; lets tests and
// benchmarks check that a load reads once and a save writes once.
struct ProfileFileIoCounts {
    uint64_t Reads = 0;     // files opened for reading
    uint64_t Replaces = 0;  // temporary files renamed over their target
};
ProfileFileIoCounts ProfileFileIo();

}  // namespace rtl
