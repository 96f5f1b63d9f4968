// The real program, offscreen, started several times on one settings folder:
// later starts hand over to the running copy (also while it shows an alert box)
// and end with status 0, and the lock of a killed copy does not stop the next.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/ScriptedPeer.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

using std::chrono::seconds;
using testsupport::PumpUntil;
using testsupport::ReadFile;
using testsupport::WriteFile;

class Copy {
public:
    explicit Copy(const std::string& program) {
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (::posix_spawn(&FPid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
            FPid = 0;
    }
    ~Copy() {
        if (FPid > 0 && !FEnded) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    pid_t Pid() const { return FPid; }
    bool Running() {
        if (!FEnded && ::waitpid(FPid, &FStatus, WNOHANG) == FPid)
            FEnded = true;
        return !FEnded;
    }
    // The exit status once it has ended by itself within the deadline; -1 otherwise.
    int ExitStatus(seconds deadline = seconds(60)) {
        PumpUntil([this] { return !Running(); }, deadline);
        return FEnded && WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -1;
    }
    void Kill(int signal) {
        ::kill(FPid, signal);
        if (signal == SIGKILL) {
            ::waitpid(FPid, &FStatus, 0);
            FEnded = true;
        }
    }

private:
    pid_t FPid = 0;
    int FStatus = 0;
    bool FEnded = false;
};

TEST(SingleInstance, LaterStartsHandOverAndALockLeftByAKilledCopyIsTakenOver) {
    testsupport::TempFolder folder;
    // A portable copy: its folder is the settings folder.
    const std::string program = folder.File("perchly");
    std::filesystem::copy_file(PERCHLY_PROGRAM, program);
    WriteFile(folder.File("Message.ini"), "hello\r\n");
    const std::string lock = folder.File("perchly.lock");
    auto lockHolder = [&] { return std::atoi(ReadFile(lock).c_str()); };

    // The first copy finds Alice at its first tick and shows the alert box,
    // which nobody answers.
    testsupport::ScriptedPeer peer;
    peer.ReadLine().Send("HTTP/1.0 200 OK\r\n\r\n<b>Alice</b> is here").Close();
    peer.Start();
    WriteFile(folder.File("perchly.ini"),
              "[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\n[TargetSite]\r\nSite0=Room\r\n"
              "Site0Url=http://127.0.0.1:" +
                  std::to_string(peer.Port()) +
                  "/who\r\nSite0ch=1\r\n[Setting]\r\nSound=0\r\nAutoUp=1\r\nSecond=5\r\n"
                  "AutoMin=1\r\n");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    Copy first(program);
    ASSERT_GT(first.Pid(), 0);
    ASSERT_TRUE(PumpUntil([&] { return lockHolder() == first.Pid(); }, seconds(60)));
    ASSERT_TRUE(peer.Wait(seconds(60))) << "the first copy did not fetch the page";

    Copy second(program);
    EXPECT_EQ(second.ExitStatus(), 0) << "the second start did not hand over";
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(lockHolder(), first.Pid());

    // A crash leaves the lock file behind; the next start takes it over.
    first.Kill(SIGKILL);
    ASSERT_TRUE(std::filesystem::exists(lock));
    Copy third(program);
    ASSERT_TRUE(PumpUntil([&] { return lockHolder() == third.Pid(); }, seconds(60)))
        << "the stale lock kept the third start out";
    Copy fourth(program);
    EXPECT_EQ(fourth.ExitStatus(), 0);
    EXPECT_TRUE(third.Running());

    // The copy that holds the folder still saves on the way out, and lets go.
    third.Kill(SIGTERM);
    EXPECT_EQ(third.ExitStatus(), 0);
    EXPECT_NE(ReadFile(folder.File("perchly.ini")).find("Name0=Alice\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

}  // namespace
