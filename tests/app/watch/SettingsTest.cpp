#include "app/watch/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "rtl/Exceptions.h"
#include "rtl/ProfileFile.h"
#include "tests/support/TestSupport.h"

using app::LoadSettings;
using app::SaveWatchLists;
using app::WatchState;
using testsupport::ReadFile;
using testsupport::RunUnprivileged;
using testsupport::WriteFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    testsupport::TempFolder Folder;
    const std::string Path = app::SettingsFileName(Folder.Path());
    WatchState State;

    app::StartupSwitches Load(const std::string& content) {
        WriteFile(Path, content);
        return LoadSettings(Path, State);
    }
    int32_t IntervalFrom(const std::string& secondLine) {
        Load("[Setting]\r\n" + secondLine + "\r\n");
        return State.IntervalSeconds;
    }
};

// A state whose every slot is used, with names long enough that a save takes a
// while; version tells two such states apart.
WatchState FullState(char version) {
    WatchState state;
    state.IntervalSeconds = version == 'A' ? 20 : 30;
    for (size_t n = 0; n < state.Targets.size(); ++n) {
        state.Targets[n].Name = version + std::to_string(n) + std::string(500, version);
        state.Targets[n].Selected = static_cast<int32_t>(n % 2);
    }
    for (size_t n = 0; n < state.Sites.size(); ++n) {
        state.Sites[n].Name = version + std::string("site") + std::to_string(n);
        state.Sites[n].Url = "http://127.0.0.1/" + std::string(500, version);
        state.Sites[n].Selected = 1;
    }
    return state;
}

}  // namespace

TEST(SettingsFileName, SitsInTheGivenFolder) {
    EXPECT_EQ(app::SettingsFileName("/opt/perchly/"), "/opt/perchly/perchly.ini");
}

TEST_F(SettingsTest, NoFileGivesAllDefaults) {
    State.Targets[3].Name = "stale";
    State.Sites[0] = {"stale", "http://x/", 1};
    const app::StartupSwitches switches = LoadSettings(Folder.File("absent.ini"), State);
    EXPECT_TRUE(switches.AutoUp);
    EXPECT_TRUE(switches.AutoMin);
    EXPECT_TRUE(State.SoundOn);
    EXPECT_EQ(State.IntervalSeconds, 10);
    for (const auto& slot : State.Targets)
        EXPECT_TRUE(slot.Name.empty() && slot.Selected == 0);
    for (const auto& slot : State.Sites)
        EXPECT_TRUE(slot.Name.empty() && slot.Url.empty() && slot.Selected == 0);
}

TEST_F(SettingsTest, IntervalOutsideFiveToSixtyBecomesTen) {
    EXPECT_EQ(IntervalFrom("Second=4"), 10);
    EXPECT_EQ(IntervalFrom("Second=5"), 5);
    EXPECT_EQ(IntervalFrom("Second=60"), 60);
    EXPECT_EQ(IntervalFrom("Second=61"), 10);
    EXPECT_EQ(IntervalFrom("Second=-30"), 10);
    EXPECT_EQ(IntervalFrom("Second="), 10);
    EXPECT_EQ(IntervalFrom("Second=abc"), 10);
    EXPECT_EQ(IntervalFrom("Second=30x"), 10);
    EXPECT_EQ(IntervalFrom("second = 0x1E"), 30);
    EXPECT_EQ(IntervalFrom("Second=$0C"), 12);
}

TEST_F(SettingsTest, ReadsSwitchesAsIntegers) {
    auto switches = Load("[Setting]\r\nSound=2\r\nAutoUp=0\r\nAutoMin=0x0\r\n");
    EXPECT_TRUE(State.SoundOn);
    EXPECT_FALSE(switches.AutoUp);
    EXPECT_FALSE(switches.AutoMin);
    switches = Load("[setting]\r\nsound=0\r\nautoup=-1\r\nAutoMin=junk\r\n");
    EXPECT_FALSE(State.SoundOn);
    EXPECT_TRUE(switches.AutoUp);
    EXPECT_TRUE(switches.AutoMin);
}

TEST_F(SettingsTest, KeepsFlagsAsStored) {
    Load(
        "[TargetObj]\r\nName0=a\r\nName0ch=1\r\nName1=b\r\nName2=c\r\nName2ch=0\r\n"
        "Name3=d\r\nName3ch=2\r\n[TargetSite]\r\nSite0=room\r\nSite0Url=http://h:81/p\r\n"
        "Site0ch=$1\r\n");
    EXPECT_EQ(State.Targets[0].Selected, 1);
    EXPECT_EQ(State.Targets[1].Selected, 0);
    EXPECT_EQ(State.Targets[2].Selected, 0);
    EXPECT_EQ(State.Targets[3].Name, "d");
    EXPECT_EQ(State.Targets[3].Selected, 2);
    EXPECT_EQ(State.Sites[0].Name, "room");
    EXPECT_EQ(State.Sites[0].Url, "http://h:81/p");
    EXPECT_EQ(State.Sites[0].Selected, 1);
    EXPECT_TRUE(State.Targets[4].Name.empty());
}

TEST_F(SettingsTest, MovesUsedSlotsTogetherOverGaps) {
    Load(
        "[TargetObj]\r\nName0=a\r\nName1=\r\nName1ch=1\r\nName2=c\r\nName2ch=1\r\n"
        "Name7=h\r\nName7ch=2\r\nName99=last\r\n"
        "[TargetSite]\r\nSite3=r3\r\nSite3Url=http://three/\r\nSite3ch=1\r\nSite5=r5\r\n"
        "Site5Url=http://five/\r\nSite6Url=http://orphan/\r\nSite6ch=1\r\n");
    const std::vector<std::pair<std::string, int32_t>> targets = {
        {"a", 0}, {"c", 1}, {"h", 2}, {"last", 0}};
    for (size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(State.Targets[i].Name, targets[i].first);
        EXPECT_EQ(State.Targets[i].Selected, targets[i].second);
    }
    for (size_t i = targets.size(); i < State.Targets.size(); ++i) {
        EXPECT_TRUE(State.Targets[i].Name.empty());
        EXPECT_EQ(State.Targets[i].Selected, 0);
    }
    EXPECT_EQ(State.Sites[0].Name, "r3");
    EXPECT_EQ(State.Sites[0].Url, "http://three/");
    EXPECT_EQ(State.Sites[0].Selected, 1);
    EXPECT_EQ(State.Sites[1].Name, "r5");
    EXPECT_EQ(State.Sites[1].Url, "http://five/");
    EXPECT_EQ(State.Sites[1].Selected, 0);
    for (size_t i = 2; i < State.Sites.size(); ++i) {
        EXPECT_TRUE(State.Sites[i].Name.empty() && State.Sites[i].Url.empty());
        EXPECT_EQ(State.Sites[i].Selected, 0);
    }
}

TEST_F(SettingsTest, SaveWithoutAFileWritesEverySlot) {
    State.IntervalSeconds = 10;
    State.Targets[0] = {"nick", 1};
    State.Sites[0] = {"room", "http://127.0.0.1:8080/who", 1};
    SaveWatchLists(Path, State);

    std::string expected = "[Setting]\r\nSecond=10\r\n[TargetObj]\r\nName0=nick\r\nName0ch=1\r\n";
    for (int n = 1; n <= app::MaxTargetIndex; ++n)
        expected += "Name" + std::to_string(n) + "=\r\nName" + std::to_string(n) + "ch=0\r\n";
    expected += "[TargetSite]\r\nSite0=room\r\nSite0Url=http://127.0.0.1:8080/who\r\nSite0ch=1\r\n";
    for (int n = 1; n <= app::MaxSiteIndex; ++n) {
        const std::string site = "Site" + std::to_string(n);
        expected += site + "=\r\n" + site + "Url=\r\n" + site + "ch=0\r\n";
    }
    EXPECT_EQ(ReadFile(Path), expected);
}

TEST_F(SettingsTest, SaveKeepsEveryOtherLine) {
    const std::string head =
        "; my notes\r\n[Setting]\r\nSound=0\r\nAutoUp=0\r\nSecond=4\r\n"
        "AutoMin=1\r\n\r\n[Mine]\r\nx = y \r\n";
    Load(head + "[TargetObj]\r\nName0=old\r\n; keep me\r\n");
    State.IntervalSeconds = 45;
    State.Targets[0].Name = "new";
    SaveWatchLists(Path, State);
    const std::string text = ReadFile(Path);
    EXPECT_EQ(text.substr(0, head.size() + 1),  // "Second" grew by a digit
              "; my notes\r\n[Setting]\r\nSound=0\r\nAutoUp=0\r\nSecond=45\r\nAutoMin=1\r\n\r\n"
              "[Mine]\r\nx = y \r\n");
    EXPECT_NE(text.find("[TargetObj]\r\nName0=new\r\nName0ch=0\r\nName1=\r\n"), std::string::npos);
    EXPECT_NE(text.find("Name99ch=0\r\n; keep me\r\n[TargetSite]\r\n"), std::string::npos);

    WatchState reloaded;
    const auto switches = LoadSettings(Path, reloaded);
    EXPECT_FALSE(reloaded.SoundOn);
    EXPECT_FALSE(switches.AutoUp);
    EXPECT_TRUE(switches.AutoMin);
    EXPECT_EQ(reloaded.IntervalSeconds, 45);
}

TEST_F(SettingsTest, GbTextSurvivesLoadAndSaveByteForByte) {
    const std::string name = "\xd5\xc5\xc8\xfd";          // GB2312, a two-character name
    const std::string room = "\xc1\xc4\xcc\xec\xca\xd2";  // GB2312, "chat room"
    Load("[TargetObj]\r\nName0=" + name + "\r\nName0ch=1\r\n[TargetSite]\r\nSite0=" + room +
         "\r\nSite0Url=http://h/?q=" + name + "\r\n");
    EXPECT_EQ(State.Targets[0].Name, name);
    SaveWatchLists(Path, State);
    const std::string text = ReadFile(Path);
    EXPECT_NE(text.find("\r\nName0=" + name + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSite0=" + room + "\r\n"), std::string::npos);
    WatchState reloaded;
    LoadSettings(Path, reloaded);
    EXPECT_EQ(reloaded.Targets[0].Name, name);
    EXPECT_EQ(reloaded.Sites[0].Name, room);
    EXPECT_EQ(reloaded.Sites[0].Url, "http://h/?q=" + name);
}

TEST_F(SettingsTest, AwkwardNamesRoundTrip) {
    State.Targets[0].Name = " padded ";
    State.Targets[1].Name = "\"quoted\"";
    State.Targets[2].Name = "a=b;c";
    State.Sites[0] = {"'room'", " http://h/ ", 1};
    SaveWatchLists(Path, State);
    WatchState reloaded;
    LoadSettings(Path, reloaded);
    EXPECT_EQ(reloaded.Targets[0].Name, " padded ");
    EXPECT_EQ(reloaded.Targets[1].Name, "\"quoted\"");
    EXPECT_EQ(reloaded.Targets[2].Name, "a=b;c");
    EXPECT_EQ(reloaded.Sites[0].Name, "'room'");
    EXPECT_EQ(reloaded.Sites[0].Url, " http://h/ ");
}

TEST_F(SettingsTest, AShortIntervalIsSavedButLoadsAsTen) {
    State.IntervalSeconds = 3;
    SaveWatchLists(Path, State);
    EXPECT_NE(ReadFile(Path).find("\r\nSecond=3\r\n"), std::string::npos);
    WatchState reloaded;
    LoadSettings(Path, reloaded);
    EXPECT_EQ(reloaded.IntervalSeconds, 10);
}

TEST_F(SettingsTest, WriteSwitchChangesOnlyItsKey) {
    const std::string before =
        "[Setting]\r\nSound=1\r\nAutoUp = 1\r\n;c\r\n[TargetObj]\r\nName0=x\r\n";
    WriteFile(Path, before);
    app::WriteSwitch(Path, "Sound", false);
    EXPECT_EQ(ReadFile(Path),
              "[Setting]\r\nSound=0\r\nAutoUp = 1\r\n;c\r\n[TargetObj]\r\nName0=x\r\n");
    app::WriteSwitch(Path, "AutoMin", false);
    EXPECT_EQ(
        ReadFile(Path),
        "[Setting]\r\nSound=0\r\nAutoUp = 1\r\nAutoMin=0\r\n;c\r\n[TargetObj]\r\nName0=x\r\n");
    app::WriteSwitch(Path, "AutoUp", true);  // unchanged value: the line stays as it is
    app::WriteSwitch(Path, "Sound", true);
    EXPECT_EQ(
        ReadFile(Path),
        "[Setting]\r\nSound=1\r\nAutoUp = 1\r\nAutoMin=0\r\n;c\r\n[TargetObj]\r\nName0=x\r\n");

    const std::string fresh = Folder.File("fresh.ini");
    app::WriteSwitch(fresh, "AutoUp", false);
    EXPECT_EQ(ReadFile(fresh), "[Setting]\r\nAutoUp=0\r\n");
}

TEST_F(SettingsTest, LoadReadsOnceAndSaveWritesOnce) {
    SaveWatchLists(Path, FullState('A'));
    const rtl::ProfileFileIoCounts before = rtl::ProfileFileIo();
    LoadSettings(Path, State);
    EXPECT_EQ(rtl::ProfileFileIo().Reads - before.Reads, 1u);
    SaveWatchLists(Path, State);
    EXPECT_EQ(rtl::ProfileFileIo().Reads - before.Reads, 2u);
    EXPECT_EQ(rtl::ProfileFileIo().Replaces - before.Replaces, 1u);
}

TEST_F(SettingsTest, AReadOnlyFolderRaisesAndKeepsTheOldFile) {
    SaveWatchLists(Path, FullState('A'));
    const std::string before = ReadFile(Path);
    ASSERT_EQ(::chmod(Folder.Path().c_str(), 0555), 0);
    const std::string path = Path;
    const int code = RunUnprivileged([&path] {
        WatchState state;
        LoadSettings(path, state);
        if (state.Targets[99].Name.empty())
            return 1;
        state.Targets[0].Name = "changed";
        int result = 0;
        for (const auto& attempt :
             std::vector<std::function<void()>>{[&] { SaveWatchLists(path, state); },
                                                [&] { app::WriteSwitch(path, "Sound", false); }}) {
            try {
                attempt();
                result = result ? result : 3;
            } catch (const rtl::EInOutError& error) {
                if (error.Message() != "Unable to write to " + path)
                    result = 2;
            }
        }
        return result;
    });
    ::chmod(Folder.Path().c_str(), 0700);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(Path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(SettingsTest, AnUnstorableNameFailsTheWholeSave) {
    SaveWatchLists(Path, FullState('A'));
    const std::string before = ReadFile(Path);
    WatchState state = FullState('B');
    state.Sites[50].Url = "http://h/\r\n[Setting]\r\nSecond=1";
    try {
        SaveWatchLists(Path, state);
        ADD_FAILURE() << "saved a line break";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.Message(), "Unable to write to " + Path);
    }
    EXPECT_EQ(ReadFile(Path), before);
}

TEST_F(SettingsTest, AKilledSaveNeverLeavesATruncatedFile) {
    const WatchState versions[] = {FullState('A'), FullState('B')};
    SaveWatchLists(Path, versions[0]);
    for (int round = 0; round < 40; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            // The save at close and the switch writes replace the same file.
            for (unsigned i = 0;; ++i) {
                SaveWatchLists(Path, versions[i % 2]);
                app::WriteSwitch(Path, "Sound", i % 2 == 0);
                const char tick = 't';
                if (::write(ready[1], &tick, 1) != 1)
                    ::_exit(1);
            }
        }
        ::close(ready[1]);
        // Let the child finish a varying number of saves, then kill it in the next.
        char tick = 0;
        for (int saves = 0; saves <= round % 3; ++saves)
            ASSERT_EQ(::read(ready[0], &tick, 1), 1);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(ready[0]);
        ASSERT_TRUE(WIFSIGNALED(status));

        WatchState loaded;
        LoadSettings(Path, loaded);
        const char version = loaded.Targets[0].Name.empty() ? '?' : loaded.Targets[0].Name[0];
        ASSERT_TRUE(version == 'A' || version == 'B') << "round " << round;
        const WatchState& expected = versions[version == 'A' ? 0 : 1];
        ASSERT_EQ(loaded.IntervalSeconds, expected.IntervalSeconds) << "round " << round;
        for (size_t n = 0; n < expected.Targets.size(); ++n) {
            ASSERT_EQ(loaded.Targets[n].Name, expected.Targets[n].Name) << "round " << round;
            ASSERT_EQ(loaded.Targets[n].Selected, expected.Targets[n].Selected);
        }
        for (size_t n = 0; n < expected.Sites.size(); ++n) {
            ASSERT_EQ(loaded.Sites[n].Name, expected.Sites[n].Name) << "round " << round;
            ASSERT_EQ(loaded.Sites[n].Url, expected.Sites[n].Url);
            ASSERT_EQ(loaded.Sites[n].Selected, 1);
        }
        ASSERT_EQ(rtl::ProfileFile(Path).ReadString("TargetSite", "Site99ch", "missing"), "1");
        const std::string sound = rtl::ProfileFile(Path).ReadString("Setting", "Sound", "missing");
        ASSERT_TRUE(sound == "0" || sound == "1") << "round " << round << ": " << sound;
    }
}
