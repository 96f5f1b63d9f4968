#include <gtest/gtest.h>

#include <stdexcept>

#include "net/ThreadTimer.h"
#include "rtl/Exceptions.h"
#include "tests/support/TestSupport.h"

using net::TThreadTimer;

TEST(ThreadTimer, RunsOnlyWithIntervalEnabledAndHandler) {
    TThreadTimer timer;
    EXPECT_FALSE(timer.Running());  // no handler yet
    int ticks = 0;
    timer.SetInterval(0);
    timer.SetOnTimer([&](TThreadTimer&) { ++ticks; });
    EXPECT_FALSE(timer.Running());
    timer.SetEnabled(false);
    timer.SetInterval(50);
    EXPECT_FALSE(timer.Running());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Running());
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ticks >= 3; }));
    timer.SetOnTimer(nullptr);
    EXPECT_FALSE(timer.Running());
}

TEST(ThreadTimer, SameIntervalDoesNotRestart) {
    TThreadTimer timer;
    int ticks = 0;
    timer.SetInterval(200);
    timer.SetOnTimer([&](TThreadTimer&) { ++ticks; });
    // Re-assigning the running interval over and over must not push the tick
    // away: it still fires.
    net::TThreadTimer poker;
    poker.SetInterval(20);
    poker.SetOnTimer([&](TThreadTimer&) { timer.SetInterval(200); });
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ticks >= 1; }));
    // Changing it does restart; a handler assigned again keeps ticking.
    timer.SetInterval(30);
    const int before = ticks;
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ticks >= before + 2; }));
}

TEST(ThreadTimer, HandlerExceptionsAreReportedAndTicksContinue) {
    testsupport::ErrorRecorder errors;
    TThreadTimer timer;
    int ticks = 0;
    timer.SetInterval(20);
    timer.SetOnTimer([&](TThreadTimer&) {
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ticks >= 3; }));
    ASSERT_GE(errors.Messages().size(), 3u);
    EXPECT_EQ(errors.Messages()[0], "tick failed");
}

TEST(ThreadTimer, TooLongIntervalRaisesNoTimer) {
    TThreadTimer timer;
    timer.SetOnTimer([](TThreadTimer&) {});
    try {
        timer.SetInterval(0xFFFFFFFFu);
        FAIL() << "no exception";
    } catch (const rtl::Exception& error) {
        EXPECT_EQ(error.Message(), "No Timer");
    }
}
