#include "rtl/ExePath.h"

#include <unistd.h>

#include <climits>

namespace rtl {

std::string ExeFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "./";
    std::string folder(path, static_cast<size_t>(length));
    folder.erase(folder.find_last_of('/') + 1);
    return folder;
}

}  // namespace rtl
