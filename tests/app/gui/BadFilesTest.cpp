// The window against damaged files beside it: settings files of garbage, NULs,
// a byte-order mark or thousands of keys; prompt files with huge lines or
// binary bytes; and a settings folder it may not write.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <memory>
#include <random>

#include "app/gui/Unit1.h"
#include "app/gui/Unit1Ui.h"
#include "app/watch/LcgRandom.h"
#include "app/watch/Settings.h"
#include "tests/app/gui/WatchCycleFixture.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class BadSettingsFile : public testing::Test {
protected:
    std::string Ini() const { return app::SettingsFileName(Folder.Path()); }

    // Opens a window on the file as it stands, with a fresh record.
    app::TForm1& Open() {
        Form.reset();
        State = std::make_unique<app::WatchState>();
        Form = std::make_unique<app::TForm1>(*State, Desktop, Folder.Path());
        return *Form;
    }
    // Adds a target in memory, as the editor would, closes, and opens again:
    // the close must succeed and the new target come back.
    void EditCloseAndReopen() {
        size_t free = 0;
        while (!State->Targets[free].Name.empty())
            ++free;
        State->Targets[free] = {"Added", 1};
        ASSERT_TRUE(Form->close());
        ASSERT_TRUE(Errors.Messages().empty()) << Errors.Messages()[0];
        Open();
        EXPECT_EQ(State->Targets[free].Name, "Added");
        EXPECT_EQ(State->Targets[free].Selected, 1);
    }

    testsupport::TempFolder Folder;
    testsupport::FakeDesktopServices Desktop;
    testsupport::ErrorRecorder Errors;
    std::unique_ptr<app::WatchState> State;
    std::unique_ptr<app::TForm1> Form;
};

TEST_F(BadSettingsFile, TenMebibytesOfGarbageOpenWithDefaultsAndStillSave) {
    std::mt19937 random(2024);
    std::string garbage(10 * 1024 * 1024, '\0');
    for (char& byte : garbage)
        byte = static_cast<char>(random() % 256);
    WriteFile(Ini(), garbage);
    Open();
    EXPECT_EQ(Form->ui->ListBox1->count(), 0);
    EXPECT_EQ(Form->ui->ListBox2->count(), 0);
    EXPECT_EQ(State->IntervalSeconds, 10);
    EXPECT_TRUE(Form->Timer1->Enabled());
    EditCloseAndReopen();
    // What could not be read is kept, not thrown away.
    EXPECT_EQ(ReadFile(Ini()).substr(0, garbage.size()), garbage);
}

TEST_F(BadSettingsFile, ValuesEndAtANulAndTheWindowStillCloses) {
    using namespace std::string_literals;
    WriteFile(Ini(),
              "[TargetObj]\r\nName0=Al\0ice\r\nName0ch=1\r\n\0\0\0\r\n"
              "[TargetSite]\r\nSite0=Ro\0om\r\nSite0Url=http://127.0.0.1/\0junk\r\n"
              "Site0ch=1\r\n[Setting]\r\nSecond=3\0\r\n"s);
    Open();
    EXPECT_EQ(State->Targets[0].Name, "Al");
    EXPECT_EQ(State->Sites[0].Name, "Ro");
    EXPECT_EQ(State->Sites[0].Url, "http://127.0.0.1/");
    EXPECT_EQ(State->Sites[0].Selected, 1);
    EXPECT_EQ(State->IntervalSeconds, 10);  // "3" loads as 10, like any value below 5
    EditCloseAndReopen();
    EXPECT_EQ(State->Targets[0].Name, "Al");
}

TEST_F(BadSettingsFile, ByteOrderMarkHidesNoSectionAndSurvivesTheSave) {
    WriteFile(Ini(),
              "\xEF\xBB\xBF[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\n[Setting]\r\nSecond=20\r\n");
    Open();
    EXPECT_EQ(State->Targets[0].Name, "Alice");
    EXPECT_EQ(State->IntervalSeconds, 20);
    EditCloseAndReopen();
    EXPECT_EQ(State->Targets[0].Name, "Alice");
    EXPECT_EQ(ReadFile(Ini()).rfind("\xEF\xBB\xBF[TargetObj]\r\n", 0), 0u);
}

TEST_F(BadSettingsFile, TenThousandKeysAroundTheLists) {
    std::string ini = "[TargetObj]\r\n";
    for (int i = 0; i < 5000; ++i)
        ini += "Junk" + std::to_string(i) + "=x\r\n";
    ini += "Name0=Alice\r\nName0ch=1\r\n[TargetSite]\r\n";
    for (int i = 0; i < 5000; ++i)
        ini += "Site" + std::to_string(1000 + i) + "=extra\r\n";
    ini += "Site0=Room\r\nSite0Url=http://127.0.0.1/who\r\nSite0ch=1\r\n";
    WriteFile(Ini(), ini);
    Open();
    EXPECT_EQ(Form->ui->ListBox2->count(), 1);
    EXPECT_EQ(Form->ui->ListBox1->count(), 1);
    EXPECT_EQ(State->Sites[0].Url, "http://127.0.0.1/who");
    EditCloseAndReopen();
    EXPECT_EQ(State->Targets[0].Name, "Alice");
    EXPECT_EQ(State->Sites[0].Name, "Room");
    EXPECT_NE(ReadFile(Ini()).find("Junk4999=x\r\n"), std::string::npos);
}

// The close in a folder the program may not write: the error is shown, the
// window stays open with the edited lists, and the next close once the folder
// is writable saves them. Runs as another user, since root ignores the mode.
TEST_F(BadSettingsFile, UnwritableFolderKeepsTheListsForTheNextClose) {
    WriteFile(Ini(), "[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\n");
    WriteFile(Folder.File("Message.ini"), "one\r\n");
    const std::string folder = Folder.Path() + "ro/";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::rename(Ini().c_str(), (folder + "perchly.ini").c_str()), 0);
    // The child owns the folder, so it may make it writable again itself.
    ASSERT_EQ(::chmod(Folder.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((folder + "perchly.ini").c_str(), 0644), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

    const int code = testsupport::RunUnprivileged([&] {
        testsupport::ErrorRecorder errors;
        app::WatchState state;
        app::TForm1 form(state, Desktop, folder);
        form.show();
        state.Targets[1] = {"Bob", 1};
        state.IntervalSeconds = 30;
        if (form.close())
            return 1;
        if (errors.Messages() !=
            std::vector<std::string>{"Unable to write to " + folder + "perchly.ini"})
            return 2;
        if (!form.isVisible() || form.Timer1->Enabled() || state.Targets[1].Name != "Bob")
            return 3;
        if (::chmod(folder.c_str(), 0755) != 0)
            return 4;
        if (!form.close() || errors.Messages().size() != 1)
            return 5;
        return 0;
    });
    ::chmod(folder.c_str(), 0755);
    ASSERT_EQ(code, 0);
    const std::string saved = ReadFile(folder + "perchly.ini");
    EXPECT_NE(saved.find("Name0=Alice\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Name1=Bob\r\nName1ch=1\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Second=30\r\n"), std::string::npos);
}

class BadPromptFile : public testsupport::WatchCycleFixture {};

TEST_F(BadPromptFile, HugeLinesAndBinaryBytesReachTheBoxUnchanged) {
    using namespace std::string_literals;
    const std::string lines[] = {
        std::string(1024 * 1024, 'L'), "\x01\x00\xff\xfe\x80\x81 binary \x00\x00"s,
        std::string(3 * 1024 * 1024, 'M') + "\xb0",  // ends inside a GB character
    };
    WritePrompts("#$\x00\xff caption\r\n##\xfe\x00target\r\n"s + lines[0] + "\r\n" + lines[1] +
                 "\r\n" + lines[2] + "\r\n");
    Server.SetPage("/who", "Alice");
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    app::LcgRandom draws;
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 4; ++cycle) {
        expected.push_back("Alice" + lines[draws.Random(3)]);
        Form->Timer1Timer();
    }
    EXPECT_EQ(BoxTexts(), expected);
    EXPECT_EQ(Status(), FetchedText("Room"));
    EXPECT_TRUE(Errors.Messages().empty());

    // The link menu is built from the same file without trouble.
    Form->mnuTray4Click();
    ASSERT_EQ(Form->ui->mnuTrayQt->actions().size(), 1);
    Form->Myclick(Form->ui->mnuTrayQt->actions()[0]);
    ASSERT_EQ(Desktop.ShellOpens.size(), 1u);
    EXPECT_EQ(Desktop.ShellOpens[0].Target, "\xfe\x00target"s);
}

}  // namespace
