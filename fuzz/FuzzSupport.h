#pragma once

// Helpers shared by the fuzz targets: a failed property aborts with a message
// (libFuzzer then keeps the input as a crash), a scratch folder on tmpfs for the
// targets that go through files, and the Qt application that the socket
// session's event window needs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// Prints what failed and the two texts involved (escaped), then aborts.
[[noreturn]] void Fail(const char* what, std::string_view expected = {},
                       std::string_view actual = {});

// The bytes of a fuzz input as a string.
inline std::string Bytes(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process's own, on /dev/shm when there is one so that the
// profile writer's fsync costs nothing; removed when the process exits.
const std::string& ScratchFolder();

// Replaces the file at path with data; aborts when that fails.
void WriteWholeFile(const std::string& path, std::string_view data);
std::string ReadWholeFile(const std::string& path);

// Creates the process's QCoreApplication once.
void StartQt();

}  // namespace fuzz

#define FUZZ_CHECK(condition, ...)                               \
    do {                                                         \
        if (!(condition))                                        \
            ::fuzz::Fail(#condition __VA_OPT__(, ) __VA_ARGS__); \
    } while (false)
