// The real program, offscreen, ended by SIGTERM while a fetch waits on a server
// that never answers: it must save its lists and exit cleanly.
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

using testsupport::ReadFile;
using testsupport::WriteFile;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Waits for the child to end, at most until the deadline; its wait status, or
// -1 when it is still running.
int WaitForExit(pid_t child, std::chrono::seconds deadline) {
    int status = -1;
    testsupport::PumpUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, deadline);
    return status;
}

TEST(TerminationSignal, DuringAFetchSavesTheListsAndExitsCleanly) {
    testsupport::TempFolder folder;
    // The program keeps its files beside its executable, so it runs from a copy.
    const std::string program = folder.File("perchly");
    std::filesystem::copy_file(PERCHLY_PROGRAM, program);
    WriteFile(folder.File("Message.ini"), "one\r\n");

    testsupport::ScriptedPeer peer;
    peer.ReadLine().Hold();  // takes the request line, then never answers
    peer.Start();
    WriteFile(folder.File("perchly.ini"),
              "[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\n[TargetSite]\r\nSite0=Stall\r\n"
              "Site0Url=http://127.0.0.1:" +
                  std::to_string(peer.Port()) +
                  "/who\r\nSite0ch=1\r\n[Setting]\r\nAutoUp=1\r\nSecond=5\r\nAutoMin=0\r\n");

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ), 0);

    // The first tick comes after one interval; then the request arrives and
    // the fetch waits for an answer that never comes.
    testsupport::PumpUntil([&] { return !peer.Received().empty(); }, std::chrono::seconds(60));
    ASSERT_EQ(peer.Received(), "GET /who HTTP/1.0\r\n");
    ASSERT_EQ(::kill(child, SIGTERM), 0);

    const int status = WaitForExit(child, std::chrono::seconds(60));
    if (status == -1) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        FAIL() << "still running after SIGTERM";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The close wrote both whole lists, free slots included, and the interval.
    const std::string ini = ReadFile(folder.File("perchly.ini"));
    EXPECT_TRUE(Contains(ini, "Name0=Alice\r\nName0ch=1\r\n")) << ini;
    EXPECT_TRUE(Contains(ini, "Name99=\r\nName99ch=0\r\n"));
    EXPECT_TRUE(Contains(ini, "Site0=Stall\r\n"));
    EXPECT_TRUE(Contains(ini, "Site99ch=0\r\n"));
    EXPECT_TRUE(Contains(ini, "Second=5\r\n"));
    // Nothing half-written is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
