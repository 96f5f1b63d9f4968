#include "rtl/TextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "rtl/Exceptions.h"

namespace rtl {

namespace {
[[noreturn]] void RaiseFileError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            throw EInOutError("File not found");
        case EACCES:
        case EPERM:
            throw EInOutError("File access denied");
        default:
            throw EInOutError(std::string("I/O error: ") + std::strerror(error));
    }
}
}  // namespace

std::string ReadWholeFile(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        RaiseFileError(errno);
    std::string content;
    char chunk[65536];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        content.append(chunk, count);
    if (std::ferror(file.get()))
        RaiseFileError(errno ? errno : EIO);
    return content;
}

TextFileReader::TextFileReader(const std::string& path) : FContent(ReadWholeFile(path)) {}

std::string TextFileReader::ReadLn() {
    if (Eof())
        return {};
    const size_t end = FContent.find_first_of("\r\n", FPosition);
    if (end == std::string::npos) {
        std::string line = FContent.substr(FPosition);
        FPosition = FContent.size();
        return line;
    }
    std::string line = FContent.substr(FPosition, end - FPosition);
    FPosition = end + 1;
    if (FContent[end] == '\r' && FPosition < FContent.size() && FContent[FPosition] == '\n')
        ++FPosition;
    return line;
}

}  // namespace rtl
