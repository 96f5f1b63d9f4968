#pragma once

#include <string>

namespace rtl {

// Reads a text file line by line. The whole file is read and closed by the
// constructor, so no handle stays open while the caller works through the lines.
// Lines end with CR LF, LF or CR; the line end is not part of the line.
class TextFileReader {
public:
    // Raises EInOutError "File not found" for a missing file, and another
    // EInOutError text for a file that exists but cannot be read.
    explicit TextFileReader(const std::string& path);

    // True when every line has been read (at once for an empty file).
    bool Eof() const noexcept { return FPosition >= FContent.size(); }

    // The next line; reading past the end yields empty lines.
    std::string ReadLn();

private:
    std::string FContent;
    size_t FPosition = 0;
};

// Reads a whole binary file; raises EInOutError as TextFileReader does.
std::string ReadWholeFile(const std::string& path);

// Replaces the file at path with data so that a reader sees either the old file
// or the new one, never a part: a temporary file beside it, synced, renamed
// over (a symbolic link stays a link; the file it points to is replaced, and
// keeps its mode). False, with the old file untouched, when any step fails or
// path names something other than a regular file; errno then says why.
bool ReplaceWholeFile(const std::string& path, const std::string& data);

}  // namespace rtl
