#include "rtl/FileFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "rtl/Exceptions.h"
#include "rtl/ExePath.h"
#include "rtl/TextFile.h"

namespace rtl {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

[[noreturn]] void Raise(const std::string& what, const std::string& path, int error) {
    throw EInOutError(what + " " + path + ": " + std::strerror(error));
}

// Copies the shipped prompt file in under a temporary name and links it into
// place, so the user's folder never holds half a copy and a copy that appeared
// meanwhile is never replaced.
void CopyPromptFile(const std::string& from, const std::string& to) {
    std::string content;
    try {
        content = ReadWholeFile(from);
    } catch (const EInOutError&) {
        // No shipped file to copy: the readers of the prompt file say so.
        return;
    }
    const std::string temporary = to + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Raise("Cannot create", temporary, errno);
    int error = 0;
    for (size_t done = 0; done < content.size();) {
        const ssize_t count = ::write(fd, content.data() + done, content.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            error = count < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(count);
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    // A file system without hard links gets a rename, while there is still no copy.
    if (error == 0 && ::link(temporary.c_str(), to.c_str()) != 0 && errno != EEXIST &&
        !Exists(to) && ::rename(temporary.c_str(), to.c_str()) != 0)
        error = errno;
    ::unlink(temporary.c_str());
    if (error != 0)
        Raise("Cannot copy the prompt file to", to, error);
}

}  // namespace

void CreatePrivateFolders(const std::string& folder) {
    std::string path;
    for (const fs::path& part : fs::path(folder)) {
        path = (fs::path(path) / part).string();
        if (part == "/" || part.empty() || IsFolder(path))
            continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            Raise("Cannot create the folder", path, errno);
        if (!IsFolder(path))
            Raise("Cannot create the folder", path, ENOTDIR);
    }
}

std::string FileFolders::SoundFile() const {
    const std::string own = Settings + "Perchly.wav";
    if (Portable || Exists(own))
        return own;
    return SharedData + "Perchly.wav";
}

std::string FileFolders::GuideFile() const {
    constexpr const char name[] = "perchly.html";
    if (Portable)
        return SharedData + name;
    return (fs::path(SharedData) / "../doc/perchly" / name).lexically_normal().string();
}

FileFolders PortableFolders(const std::string& folder) {
    return FileFolders{folder, folder, true};
}

FileFolders LocateFiles(const FolderEnvironment& environment) {
    const std::string exeFolder = WithSlash(environment.ExeFolder);
    if (Exists(exeFolder + "Message.ini"))
        return PortableFolders(exeFolder);

    FileFolders folders;
    folders.Portable = false;
    if (IsAbsolute(environment.XdgConfigHome))
        folders.Settings = WithSlash(environment.XdgConfigHome) + "perchly/";
    else if (IsAbsolute(environment.Home))
        folders.Settings = WithSlash(environment.Home) + ".config/perchly/";
    else
        throw EInOutError(
            "No folder to keep the settings in: neither $XDG_CONFIG_HOME nor $HOME is an "
            "absolute path");

    const std::string beside =
        WithSlash(fs::path(exeFolder + "../share/perchly").lexically_normal().string());
    folders.SharedData = IsFolder(beside) ? beside : "/usr/share/perchly/";
    return folders;
}

FolderEnvironment ProcessEnvironment() {
    FolderEnvironment environment;
    environment.ExeFolder = ExeFolder();
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
        environment.XdgConfigHome = xdg;
    if (const char* home = std::getenv("HOME"))
        environment.Home = home;
    if (!IsAbsolute(environment.Home)) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr)
            environment.Home = user->pw_dir;
    }
    return environment;
}

void PrepareSettingsFolder(const FileFolders& folders) {
    if (folders.Portable)
        return;
    const std::string folder = folders.Settings;
    CreatePrivateFolders(folder);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        Raise("Cannot write to the folder", folder, errno);
    if (!Exists(folders.MessageFile()))
        CopyPromptFile(folders.SharedData + "Message.ini", folders.MessageFile());
}

}  // namespace rtl
