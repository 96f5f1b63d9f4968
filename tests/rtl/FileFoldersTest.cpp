#include "rtl/FileFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "rtl/Exceptions.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

namespace fs = std::filesystem;

int ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// A staged installation: <root>/usr/bin holds the program (and no Message.ini),
// <root>/usr/share/perchly the shipped files, <root>/home the user's home.
class FileFoldersTest : public ::testing::Test {
protected:
    testsupport::TempFolder Root;
    const std::string Bin = Root.File("usr/bin/");
    const std::string Shared = Root.File("usr/share/perchly/");
    const std::string Home = Root.File("home");

    void SetUp() override {
        fs::create_directories(Bin);
        fs::create_directories(Shared);
        fs::create_directories(Home);
        WriteFile(Shared + "Message.ini", "#shipped\r\nhello\r\n");
        WriteFile(Shared + "Perchly.wav", "RIFF shipped");
    }

    rtl::FileFolders Locate(const std::string& xdgConfigHome = "") const {
        return rtl::LocateFiles({Bin, xdgConfigHome, Home});
    }
};

TEST_F(FileFoldersTest, APortableCopyKeepsEverythingBesideItsExecutable) {
    WriteFile(Bin + "Message.ini", "#portable\r\n");
    // Whatever the environment says.
    const rtl::FileFolders folders = Locate(Root.File("config"));
    EXPECT_TRUE(folders.Portable);
    EXPECT_EQ(folders.SettingsFile(), Bin + "perchly.ini");
    EXPECT_EQ(folders.MessageFile(), Bin + "Message.ini");
    EXPECT_EQ(folders.SoundFile(), Bin + "Perchly.wav");
    EXPECT_EQ(folders.GuideFile(), Bin + "perchly.html");
    // The folder is used as it is: nothing created, copied or locked.
    rtl::PrepareSettingsFolder(folders);
    EXPECT_EQ(std::distance(fs::directory_iterator(Bin), fs::directory_iterator()), 1);
}

TEST_F(FileFoldersTest, AnInstalledCopyFollowsXdgConfigHome) {
    const std::string config = Root.File("config");
    rtl::FileFolders folders = Locate(config);
    EXPECT_FALSE(folders.Portable);
    EXPECT_EQ(folders.Settings, config + "/perchly/");
    EXPECT_EQ(folders.SettingsFile(), config + "/perchly/perchly.ini");
    EXPECT_EQ(folders.SharedData, Shared);
    EXPECT_EQ(folders.GuideFile(), Root.File("usr/share/doc/perchly/perchly.html"));
    EXPECT_EQ(Locate(config + "/").Settings, config + "/perchly/");

    // Unset or empty, and relative (which the XDG rules say to ignore): ~/.config.
    EXPECT_EQ(Locate("").Settings, Home + "/.config/perchly/");
    EXPECT_EQ(Locate("relative/config").Settings, Home + "/.config/perchly/");
    // No absolute home either: nowhere to save, which is an error, not the
    // current folder.
    EXPECT_THROW(rtl::LocateFiles({Bin, "relative", ""}), rtl::EInOutError);
    EXPECT_THROW(rtl::LocateFiles({Bin, "", "home"}), rtl::EInOutError);

    // A program away from any share/perchly reads the system's shipped files.
    fs::create_directories(Root.File("opt/bin"));
    EXPECT_EQ(rtl::LocateFiles({Root.File("opt/bin/"), config, Home}).SharedData,
              "/usr/share/perchly/");
}

TEST_F(FileFoldersTest, TheFirstStartCreatesThePrivateFolderAndCopiesThePromptFile) {
    const rtl::FileFolders folders = Locate();
    rtl::PrepareSettingsFolder(folders);
    EXPECT_EQ(ModeOf(Home + "/.config"), 0700);
    EXPECT_EQ(ModeOf(folders.Settings), 0700);
    EXPECT_EQ(ReadFile(folders.MessageFile()), "#shipped\r\nhello\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folders.Settings), fs::directory_iterator()), 1)
        << "no temporary file left";

    // The user's edits survive later starts, and a new shipped file does not
    // replace them.
    WriteFile(folders.MessageFile(), "#mine\r\n");
    WriteFile(Shared + "Message.ini", "#newer\r\n");
    rtl::PrepareSettingsFolder(folders);
    EXPECT_EQ(ReadFile(folders.MessageFile()), "#mine\r\n");
    // A user's file that went missing is put back from the shipped one.
    fs::remove(folders.MessageFile());
    rtl::PrepareSettingsFolder(folders);
    EXPECT_EQ(ReadFile(folders.MessageFile()), "#newer\r\n");
}

TEST_F(FileFoldersTest, AMissingShippedPromptFileIsLeftToItsReaders) {
    fs::remove(Shared + "Message.ini");
    const rtl::FileFolders folders = Locate();
    EXPECT_NO_THROW(rtl::PrepareSettingsFolder(folders));
    EXPECT_TRUE(fs::is_directory(folders.Settings));
    EXPECT_FALSE(fs::exists(folders.MessageFile()));
}

TEST_F(FileFoldersTest, TheUsersOwnSoundWinsOverTheShippedOne) {
    const rtl::FileFolders folders = Locate();
    rtl::PrepareSettingsFolder(folders);
    EXPECT_EQ(folders.SoundFile(), Shared + "Perchly.wav");
    WriteFile(folders.Settings + "Perchly.wav", "RIFF mine");
    EXPECT_EQ(folders.SoundFile(), folders.Settings + "Perchly.wav");
}

TEST_F(FileFoldersTest, AFolderThatCannotBeMadeOrWrittenIsRefusedWithItsName) {
    // As an ordinary user, whom permissions bind (the tests may run as root).
    fs::permissions(Root.Path(), fs::perms::all);
    for (const char* part : {"usr", "usr/bin", "usr/share", "usr/share/perchly", "home"})
        fs::permissions(Root.File(part), fs::perms::all);
    fs::permissions(Shared + "Message.ini", fs::perms::all);

    auto failure = [](const rtl::FileFolders& folders) -> std::string {
        try {
            rtl::PrepareSettingsFolder(folders);
        } catch (const rtl::EInOutError& error) {
            return error.Message();
        }
        return "";
    };
    // A read-only home: the folder cannot be created.
    fs::permissions(Home, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    const rtl::FileFolders folders = Locate();
    EXPECT_EQ(testsupport::RunUnprivileged([&] {
                  const std::string message = failure(folders);
                  return message.find("Cannot create the folder " + Home + "/.config") == 0 ? 0 : 1;
              }),
              0);
    // A folder that exists but cannot be written: nothing could be saved there.
    const std::string config = Root.File("config");
    fs::create_directories(config + "/perchly");
    fs::permissions(config, fs::perms::all);
    fs::permissions(config + "/perchly",
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(
        testsupport::RunUnprivileged([&] {
            const std::string message = failure(Locate(config));
            return message.find("Cannot write to the folder " + config + "/perchly/") == 0 ? 0 : 1;
        }),
        0);
    // A file where the folder should be.
    WriteFile(Root.File("plain"), "");
    EXPECT_NE(failure(Locate(Root.File("plain"))).find("Not a directory"), std::string::npos);
}

}  // namespace
