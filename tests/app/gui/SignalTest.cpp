// The real program, ended by SIGTERM while it waits inside an operation: a
// fetch hanging on a server that never answers, and the alert box with its own
// event loop. Either way it must save its lists and exit cleanly. And a display
// that cannot be reached must end it with a message and status 1, not abort().
// `perchly --status` reads the sites' health of a running copy and of one that
// closed, without a display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "rtl/GbText.h"
#include "tests/app/gui/PageServer.h"

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

// A copy of the program in a folder of its own, as it keeps its files beside
// its executable; its output goes to out.log there.
class ProgramCopy {
public:
    ProgramCopy() {
        const std::filesystem::path built(PERCHLY_PROGRAM);
        std::filesystem::copy_file(built, Program);
        std::filesystem::copy_file(built.parent_path() / "Perchly.wav", Folder.File("Perchly.wav"));
        WriteFile(Folder.File("Message.ini"), "one\r\n");
    }
    ~ProgramCopy() {
        if (Child > 0 && ::waitpid(Child, nullptr, WNOHANG) == 0) {
            ::kill(Child, SIGKILL);
            ::waitpid(Child, nullptr, 0);
        }
    }
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    // Starts it with the environment of the tests plus Extra ("NAME=value").
    void Start(const std::vector<std::string>& extra = {"QT_QPA_PLATFORM=offscreen"}) {
        std::vector<std::string> variables;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string variable = *entry;
            bool replaced = false;
            for (const std::string& override : extra)
                replaced |= variable.rfind(override.substr(0, override.find('=') + 1), 0) == 0;
            if (!replaced)
                variables.push_back(variable);
        }
        variables.insert(variables.end(), extra.begin(), extra.end());
        std::vector<char*> envp;
        for (std::string& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = Folder.File("out.log");
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        char* argv[] = {Program.data(), nullptr};
        ASSERT_EQ(::posix_spawn(&Child, Program.c_str(), &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }

    // Runs a second copy with these arguments and no display at all, and
    // returns its wait status and what it printed on standard output. Events
    // are pumped meanwhile, so servers of the test go on answering.
    std::pair<int, std::string> RunWithoutDisplay(const std::vector<std::string>& arguments) {
        std::vector<std::string> variables;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string variable = *entry;
            bool display = false;
            for (const char* name : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="})
                display |= variable.rfind(name, 0) == 0;
            if (!display)
                variables.push_back(variable);
        }
        std::vector<char*> envp;
        for (std::string& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::vector<std::string> words{Program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = Folder.File("status.out");
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t child = 0;
        const int spawned =
            ::posix_spawn(&child, Program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return {-1, ""};
        const int status = WaitForExit(child, std::chrono::seconds(60));
        return {status, ReadFile(out)};
    }

    // Sends SIGTERM and returns the wait status (-1: still running after a minute).
    int Terminate() {
        EXPECT_EQ(::kill(Child, SIGTERM), 0);
        return WaitForExit(Child, std::chrono::seconds(60));
    }

    std::string Settings() const { return ReadFile(Folder.File("perchly.ini")); }
    std::string Output() const { return ReadFile(Folder.File("out.log")); }

    testsupport::TempFolder Folder;
    std::string Program = Folder.File("perchly");
    pid_t Child = 0;
};

std::string WatchList(uint16_t port, int sound) {
    return "[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\n[TargetSite]\r\nSite0=Stall\r\n"
           "Site0Url=http://127.0.0.1:" +
           std::to_string(port) +
           "/who\r\nSite0ch=1\r\n[Setting]\r\nSound=" + std::to_string(sound) +
           "\r\nAutoUp=1\r\nSecond=5\r\nAutoMin=0\r\n";
}

// The ending every signal must lead to: status 0 (or the given one), both whole
// lists, free slots included, and the interval written, and nothing half-written
// beside them.
void ExpectCleanExitWithTheListsSaved(const ProgramCopy& copy, int status, int exitCode = 0) {
    ASSERT_NE(status, -1) << "still running";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n"
                                   << copy.Output();
    EXPECT_EQ(WEXITSTATUS(status), exitCode) << copy.Output();
    const std::string ini = copy.Settings();
    EXPECT_TRUE(Contains(ini, "Name0=Alice\r\nName0ch=1\r\n")) << ini;
    EXPECT_TRUE(Contains(ini, "Name99=\r\nName99ch=0\r\n"));
    EXPECT_TRUE(Contains(ini, "Site0=Stall\r\n"));
    EXPECT_TRUE(Contains(ini, "Site99ch=0\r\n"));
    EXPECT_TRUE(Contains(ini, "Second=5\r\n"));
    for (const auto& entry : std::filesystem::directory_iterator(copy.Folder.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(TerminationSignal, DuringAFetchSavesTheListsAndExitsCleanly) {
    ProgramCopy copy;
    testsupport::ScriptedPeer peer;
    peer.ReadLine().Hold();  // takes the request line, then never answers
    peer.Start();
    WriteFile(copy.Folder.File("perchly.ini"), WatchList(peer.Port(), 0));
    copy.Start();

    // The first tick comes after one interval; then the request arrives and
    // the fetch waits for an answer that never comes.
    testsupport::PumpUntil([&] { return !peer.Received().empty(); }, std::chrono::seconds(60));
    ASSERT_EQ(peer.Received(), "GET /who HTTP/1.0\r\n");
    ExpectCleanExitWithTheListsSaved(copy, copy.Terminate());
}

TEST(TerminationSignal, WithTheAlertBoxOpenSavesTheListsAndExitsCleanly) {
    ProgramCopy copy;
    testsupport::ScriptedPeer peer;
    peer.ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n\r\n<li>Alice</li>").Close();
    peer.Start();
    WriteFile(copy.Folder.File("perchly.ini"), WatchList(peer.Port(), 1));
    // The sound is played to its end (or found unplayable) right before the
    // alert box opens, and nothing is processed in between: once the sound
    // file is closed, the signal is handled inside the box's own event loop.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, copy.Folder.File("Perchly.wav").c_str(), IN_CLOSE_NOWRITE),
              0);
    copy.Start();
    pollfd closed{watch, POLLIN, 0};
    const int ready = ::poll(&closed, 1, 60000);
    ::close(watch);
    ASSERT_EQ(ready, 1) << "the alert never came\n" << copy.Output();
    ExpectCleanExitWithTheListsSaved(copy, copy.Terminate());
}

// An X server that dies under the running program: Qt ends it with status 1
// from inside its event loop, and the lists must be saved all the same.
TEST(DisplayServer, DyingUnderTheProgramStillSavesTheLists) {
    ProgramCopy copy;
    testsupport::ScriptedPeer peer;
    peer.ReadLine().Hold();
    peer.Start();
    WriteFile(copy.Folder.File("perchly.ini"), WatchList(peer.Port(), 0));

    // Xvfb picks a free display and writes its number to the pipe.
    int numberPipe[2];
    ASSERT_EQ(::pipe(numberPipe), 0);
    const std::string fd = std::to_string(numberPipe[1]);
    char* xvfbArgv[] = {const_cast<char*>("Xvfb"),     const_cast<char*>("-displayfd"),
                        const_cast<char*>(fd.c_str()), const_cast<char*>("-nolisten"),
                        const_cast<char*>("tcp"),      nullptr};
    pid_t xvfb = 0;
    ASSERT_EQ(::posix_spawnp(&xvfb, "Xvfb", nullptr, nullptr, xvfbArgv, environ), 0);
    ::close(numberPipe[1]);
    std::string number;
    char digit = 0;
    while (::read(numberPipe[0], &digit, 1) == 1 && digit != '\n')
        number += digit;
    ::close(numberPipe[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";

    copy.Start({"QT_QPA_PLATFORM=xcb", "DISPLAY=:" + number, "WAYLAND_DISPLAY="});
    // A request at the first tick: the program runs on that display.
    testsupport::PumpUntil([&] { return !peer.Received().empty(); }, std::chrono::seconds(60));
    ::kill(xvfb, SIGKILL);
    ::waitpid(xvfb, nullptr, 0);
    ASSERT_FALSE(peer.Received().empty()) << copy.Output();
    ExpectCleanExitWithTheListsSaved(copy, WaitForExit(copy.Child, std::chrono::seconds(60)), 1);
}

TEST(ProgramStart, DisplayThatCannotBeReachedEndsWithAMessageAndStatusOne) {
    ProgramCopy copy;
    // An X display nobody serves: the platform cannot start.
    copy.Start({"QT_QPA_PLATFORM=xcb", "DISPLAY=:64999", "WAYLAND_DISPLAY="});
    const int status = WaitForExit(copy.Child, std::chrono::seconds(60));
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n"
                                   << copy.Output();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(Contains(copy.Output(), "perchly: the display could not be opened."))
        << copy.Output();
    EXPECT_FALSE(std::filesystem::exists(copy.Folder.File("perchly.ini")));
}

// The sites of --status --json, parsed; empty when it did not exit 0 with
// exactly one JSON object.
QJsonArray StatusSites(ProgramCopy& copy) {
    const auto [status, output] = copy.RunWithoutDisplay({"--status", "--json"});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << output;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(output), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << output;
    return json.object().value("sites").toArray();
}

bool Checked(const QJsonArray& sites) {
    for (const QJsonValue& site : sites)
        if (site.toObject().value("last_check").isNull())
            return false;
    return sites.size() == 2;
}

TEST(StatusCommand, ReadsEachSitesHealthWhileTheWindowRunsAndAfterItClosed) {
    ProgramCopy copy;
    testsupport::PageServer server;
    server.SetPage("/gone", "Alice", 404);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const std::string refused = "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/";
    closed.close();
    const std::string gone = "http://" + server.Address("/gone");
    WriteFile(copy.Folder.File("perchly.ini"),
              rtl::Gb("[TargetObj]\r\nName0=Bob\r\nName0ch=1\r\n[TargetSite]\r\nSite0=大厅\r\n"
                      "Site0Url=") +
                  refused + "\r\nSite0ch=1\r\nSite1=Gone\r\nSite1Url=" + gone +
                  "\r\nSite1ch=1\r\nSite2=Off\r\nSite2Url=http://127.0.0.1:9/\r\n"
                  "[Setting]\r\nSound=0\r\nAutoUp=1\r\nSecond=5\r\nAutoMin=0\r\n");
    copy.Start();

    // Read while the window writes, until both watched sites were checked.
    QJsonArray sites;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline) {
        testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(500));
        sites = StatusSites(copy);
        if (sites.size() == 3 && Checked(QJsonArray{sites[0], sites[1]}))
            break;
    }
    ASSERT_EQ(sites.size(), 3) << copy.Output();
    ASSERT_TRUE(Checked(QJsonArray{sites[0], sites[1]})) << copy.Output();

    const auto expectSites = [&](const QJsonArray& read) {
        ASSERT_EQ(read.size(), 3);
        const QJsonObject hall = read[0].toObject();
        EXPECT_EQ(hall.value("name").toString(), QString::fromUtf8("大厅"));
        EXPECT_EQ(hall.value("url").toString().toStdString(), refused);
        EXPECT_EQ(hall.value("watched").toBool(false), true);
        EXPECT_EQ(hall.value("result").toString(), "failed");
        EXPECT_EQ(hall.value("reason").toString(), "Connection Failed");
        EXPECT_EQ(hall.value("reason_zh").toString(),
                  QString::fromUtf8("连接被拒绝: 该端口没有服务"));
        EXPECT_GE(hall.value("failures_in_a_row").toInt(), 1);
        EXPECT_EQ(hall.value("checks_24h").toInt(), hall.value("failures_24h").toInt());
        // Local time with its offset, a moment ago.
        const QString when = hall.value("last_check").toString();
        EXPECT_EQ(when.size(), 25) << when.toStdString();
        const QDateTime parsed = QDateTime::fromString(when, Qt::ISODate);
        EXPECT_LT(std::abs(parsed.secsTo(QDateTime::currentDateTime())), 600);

        const QJsonObject page = read[1].toObject();
        EXPECT_EQ(page.value("result").toString(), "failed");
        EXPECT_EQ(page.value("reason").toString(), "HTTP/1.0 404 Scripted");
        EXPECT_EQ(page.value("reason_zh").toString(),
                  QString::fromUtf8("服务器返回 404: 页面不存在"));

        const QJsonObject off = read[2].toObject();
        EXPECT_EQ(off.value("watched").toBool(true), false);
        EXPECT_TRUE(off.value("last_check").isNull());
        EXPECT_TRUE(off.value("result").isNull());
        EXPECT_EQ(off.value("checks_24h").toInt(-1), 0);
    };
    expectSites(sites);
    const auto [textStatus, text] = copy.RunWithoutDisplay({"--status"});
    EXPECT_EQ(textStatus, 0);
    EXPECT_TRUE(Contains(text, "大厅  (监控中)\n")) << text;
    EXPECT_TRUE(Contains(text, "  原因: 服务器返回 404: 页面不存在 (HTTP/1.0 404 Scripted)\n"));

    // The running copy was not asked to show itself, and is still there.
    EXPECT_EQ(::waitpid(copy.Child, nullptr, WNOHANG), 0);
    const int ended = copy.Terminate();
    ASSERT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 0) << ended << "\n" << copy.Output();
    const QJsonArray after = StatusSites(copy);
    expectSites(after);
    EXPECT_GE(after[0].toObject().value("failures_in_a_row").toInt(),
              sites[0].toObject().value("failures_in_a_row").toInt());
    EXPECT_FALSE(std::filesystem::exists(copy.Folder.File("perchly.db-wal")));
}

}  // namespace
