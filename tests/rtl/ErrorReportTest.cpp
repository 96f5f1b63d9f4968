#include "rtl/ErrorReport.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "tests/support/TestSupport.h"

TEST(SafeCall, HandsEscapingExceptionsToTheReporter) {
    testsupport::ErrorRecorder errors;
    rtl::SafeCall([] { throw rtl::EInOutError("File not found"); });
    rtl::SafeCall([] { throw 42; });
    bool ran = false;
    rtl::SafeCall([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(errors.Messages(), (std::vector<std::string>{"File not found", "Unknown exception"}));
}

TEST(SafeCall, AThrowingReporterIsContained) {
    auto previous =
        rtl::SetErrorReporter([](const std::string&) { throw std::runtime_error("x"); });
    EXPECT_NO_THROW(rtl::SafeCall([] { throw rtl::Exception("boom"); }));
    rtl::SetErrorReporter(std::move(previous));
}
