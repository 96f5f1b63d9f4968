#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fuzz {

namespace {
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", b);
            out += code;
        }
    }
    return out;
}

void RemoveScratch() {
    std::error_code error;
    std::filesystem::remove_all(ScratchFolder(), error);
}
}  // namespace

void Fail(const char* what, std::string_view expected, std::string_view actual) {
    std::fprintf(stderr, "\n*** property failed: %s\n", what);
    if (!expected.empty() || !actual.empty()) {
        std::fprintf(stderr, "    expected: \"%s\"\n", Escaped(expected).c_str());
        std::fprintf(stderr, "    actual:   \"%s\"\n", Escaped(actual).c_str());
    }
    std::fflush(stderr);
    std::abort();
}

const std::string& ScratchFolder() {
    // Never destroyed: the exit handler that removes the folder still needs it.
    static const std::string* folder = [] {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        const std::filesystem::path path = base / ("perchly-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return new std::string(path.string());
    }();
    static const bool removedAtExit = std::atexit(RemoveScratch) == 0;
    (void)removedAtExit;
    return *folder;
}

void WriteWholeFile(const std::string& path, std::string_view data) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    file.close();
    if (!file)
        Fail("cannot write the scratch file", path);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        Fail("cannot read the scratch file", path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void StartQt() {
    static int argc = 1;
    static char name[] = "perchly-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

}  // namespace fuzz
