// CTest hands every test process the environment of tests/CMakeLists.txt: no
// display, and the sanitizers' settings with the leak suppressions. When that
// hand-over breaks, tests still pass on a machine with a display and no leaks
// to hide, and fail on a fresh one; this test fails at once instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

TEST(TestEnvironment, CTestHandsOverTheDisplayAndSanitizerSettings) {
    // CTest marks the processes it starts; a test binary run by hand has its
    // own environment to go by.
    if (std::getenv("CTEST_INTERACTIVE_DEBUG_MODE") == nullptr)
        GTEST_SKIP() << "not started by CTest";
    EXPECT_EQ(Variable("QT_QPA_PLATFORM"), "offscreen");
    EXPECT_NE(Variable("ASAN_OPTIONS").find("detect_leaks=1"), std::string::npos);
    EXPECT_NE(Variable("UBSAN_OPTIONS").find("halt_on_error=1"), std::string::npos);
    const std::string leaks = Variable("LSAN_OPTIONS");
    const std::string key = "suppressions=";
    const size_t start = leaks.find(key);
    ASSERT_NE(start, std::string::npos) << leaks;
    const size_t end = leaks.find(':', start);
    const std::string file = leaks.substr(start + key.size(), end - start - key.size());
    EXPECT_TRUE(std::filesystem::is_regular_file(file)) << file;
}

}  // namespace
