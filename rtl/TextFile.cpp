#include "rtl/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t count = ::write(fd, data.data() + done, data.size() - done);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& data) {
    std::string target = path;
    struct stat info {};
    // A link to the file stays a link: the file it points to is replaced.
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return false;
    }

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = true;
    if (exists)
        ok = ::fchmod(fd, info.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        return false;
    }

    // Make the rename itself durable; the new file is complete either way.
    const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

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
