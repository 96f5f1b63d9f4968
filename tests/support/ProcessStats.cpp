#include "tests/support/ProcessStats.h"

#include <dirent.h>
#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace testsupport {

namespace {
// A "Name:   1234 kB" line of /proc/self/status, in bytes; -1 when missing.
int64_t StatusKilobytes(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::strtoll(line.c_str() + name.size() + 1, nullptr, 10) * 1024;
    return -1;
}
}  // namespace

int64_t ResidentBytes() {
    return StatusKilobytes("VmRSS");
}

int64_t PeakResidentBytes() {
    return StatusKilobytes("VmHWM");
}

int64_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
#endif
}

int OpenFileDescriptors() {
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(folder);
    return count - 1;
}

}  // namespace testsupport
