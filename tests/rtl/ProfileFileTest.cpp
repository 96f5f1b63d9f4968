#include "rtl/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <random>

#include "rtl/Exceptions.h"
#include "tests/support/TestSupport.h"

using rtl::ProfileFile;
using testsupport::ReadFile;
using testsupport::RunUnprivileged;
using testsupport::WriteFile;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    testsupport::TempFolder Folder;
    const std::string Path = Folder.File("t.ini");

    std::string Read(const std::string& content, const std::string& section,
                     const std::string& key) {
        WriteFile(Path, content);
        return ProfileFile(Path).ReadString(section, key, "<default>");
    }

    // The file after one key was written into the given content and committed.
    std::string AfterWrite(const std::string& content, const std::string& section,
                           const std::string& key, const std::string& value) {
        WriteFile(Path, content);
        ProfileFile ini(Path);
        ini.WriteString(section, key, value);
        ini.UpdateFile();
        return ReadFile(Path);
    }

    size_t FilesInFolder() const {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(Folder.Path()))
            ++count;
        return count;
    }
};

}  // namespace

TEST_F(ProfileFileTest, FindsSectionsAndKeysWithoutRegardToCase) {
    EXPECT_EQ(Read("[SeTTing]\r\nsOUND=MiXed\r\n", "setting", "Sound"), "MiXed");
    // A GB character whose second byte is an ASCII letter is not case-folded:
    // "\xb0\x41" and "\xb0\x61" are two different characters.
    EXPECT_EQ(Read("[s]\r\n\xb0\x41=1\r\n", "s", "\xb0\x61"), "<default>");
    EXPECT_EQ(Read("[s]\r\n\xb0\x41=1\r\n", "S", "\xb0\x41"), "1");
}

TEST_F(ProfileFileTest, ReadsOnlyTheFirstOfRepeatedKeysAndSections) {
    const std::string content = "[a]\r\nk=1\r\nk=2\r\n[b]\r\nx=1\r\n[A]\r\nk=3\r\nj=4\r\n";
    EXPECT_EQ(Read(content, "a", "k"), "1");
    EXPECT_EQ(Read(content, "a", "j"), "<default>");
    EXPECT_EQ(Read(content, "b", "x"), "1");
}

TEST_F(ProfileFileTest, StripsBlanksAroundNamesAndValues) {
    const std::string content = "  \t[ my section ]\r\n \t key one \t=  v a l \t\r\n";
    EXPECT_EQ(Read(content, "my section", "key one"), "v a l");
    EXPECT_EQ(Read(content, " my section", "key one "), "v a l");
}

TEST_F(ProfileFileTest, RemovesOneOuterPairOfMatchingQuotes) {
    const std::string content =
        "[s]\r\nd=\"  a  \"\r\ns=  'x'  \r\nm=\"x'\r\none=\"\r\nempty=\"\"\r\nin=a\"b\"c\r\n"
        "twice=\"\"q\"\"\r\n";
    EXPECT_EQ(Read(content, "s", "d"), "  a  ");
    EXPECT_EQ(Read(content, "s", "s"), "x");
    EXPECT_EQ(Read(content, "s", "m"), "\"x'");
    EXPECT_EQ(Read(content, "s", "one"), "\"");
    EXPECT_EQ(Read(content, "s", "empty"), "");
    EXPECT_EQ(Read(content, "s", "in"), "a\"b\"c");
    EXPECT_EQ(Read(content, "s", "twice"), "\"q\"");
}

TEST_F(ProfileFileTest, TellsCommentsKeysAndOtherLinesApart) {
    const std::string content =
        "k0=before\r\n[s]\r\n;k1=comment\r\n  ;k2=comment\r\nk3=a;b\r\n#k4=hash\r\n"
        "no equals sign\r\nk5=\r\nk6==x=\r\n";
    EXPECT_EQ(Read(content, "", "k0"), "<default>");  // before the first section
    EXPECT_EQ(Read(content, "s", "k0"), "<default>");
    EXPECT_EQ(Read(content, "s", ";k1"), "<default>");
    EXPECT_EQ(Read(content, "s", "k1"), "<default>");
    EXPECT_EQ(Read(content, "s", "k2"), "<default>");
    EXPECT_EQ(Read(content, "s", "k3"), "a;b");
    EXPECT_EQ(Read(content, "s", "#k4"), "hash");
    EXPECT_EQ(Read(content, "s", "no equals sign"), "<default>");
    EXPECT_EQ(Read(content, "s", "k5"), "");  // present, so not the default
    EXPECT_EQ(Read(content, "s", "k6"), "=x=");
}

TEST_F(ProfileFileTest, EndsASectionNameAtTheFirstBracket) {
    EXPECT_EQ(Read("[a]b]\r\nk=1\r\n", "a", "k"), "1");
    EXPECT_EQ(Read("[a b] trailing text\r\nk=2\r\n", "a b", "k"), "2");
    EXPECT_EQ(Read("[open\r\nk=3\r\n", "open", "k"), "3");
}

TEST_F(ProfileFileTest, ParsesEveryKindOfLineEnd) {
    const std::string content = "[s]\rcr=1\rlf=2\ncrlf=3\r\n\r\n\n\r\nlast=4";
    EXPECT_EQ(Read(content, "s", "cr"), "1");
    EXPECT_EQ(Read(content, "s", "lf"), "2");
    EXPECT_EQ(Read(content, "s", "crlf"), "3");
    EXPECT_EQ(Read(content, "s", "last"), "4");
}

TEST_F(ProfileFileTest, SkipsAUtf8ByteOrderMarkAndKeepsItOnWrite) {
    const std::string content = "\xEF\xBB\xBF[s]\r\nk=1\r\n";
    EXPECT_EQ(Read(content, "s", "k"), "1");
    EXPECT_EQ(AfterWrite(content, "s", "k", "2"), "\xEF\xBB\xBF[s]\r\nk=2\r\n");
}

TEST_F(ProfileFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    ProfileFile missing(Folder.File("absent.ini"));
    EXPECT_EQ(missing.ReadString("s", "k", "dflt"), "dflt");
    EXPECT_EQ(missing.ReadInteger("s", "k", 7), 7);
    EXPECT_TRUE(missing.ReadBool("s", "k", true));
    EXPECT_EQ(Read("[s]\r\nk=1\r\n", "t", "k"), "<default>");
    EXPECT_EQ(Read("[s]\r\nk=1\r\n", "s", "j"), "<default>");
}

TEST_F(ProfileFileTest, ReadsNumbersStrictly) {
    WriteFile(Path,
              "[n]\r\ndec= -5 \r\nhex=0x1F\r\ndollar=$10\r\ngarbage=12abc\r\nempty=\r\n"
              "huge=99999999999\r\nquoted=\"42\"\r\ntwo=2\r\nzero=0\r\nhexzero=0x0\r\n");
    ProfileFile ini(Path);
    EXPECT_EQ(ini.ReadInteger("n", "dec", 0), -5);
    EXPECT_EQ(ini.ReadInteger("n", "hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("n", "dollar", 0), 16);
    EXPECT_EQ(ini.ReadInteger("n", "garbage", 99), 99);
    EXPECT_EQ(ini.ReadInteger("n", "empty", 99), 99);
    EXPECT_EQ(ini.ReadInteger("n", "huge", 99), 99);
    EXPECT_EQ(ini.ReadInteger("n", "quoted", 0), 42);
    EXPECT_TRUE(ini.ReadBool("n", "two", false));
    EXPECT_FALSE(ini.ReadBool("n", "zero", true));
    EXPECT_FALSE(ini.ReadBool("n", "hexzero", true));
    EXPECT_TRUE(ini.ReadBool("n", "garbage", true));
}

TEST_F(ProfileFileTest, NewFileAndNewSectionsGetHeaderAndCrLfLines) {
    ProfileFile ini(Path);
    ini.WriteString("a", "k", "v");
    ini.WriteInteger("b", "n", -3);
    ini.WriteBool("a", "flag", true);
    ini.WriteString("b", "e", "");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(Path), "[a]\r\nk=v\r\nflag=1\r\n[b]\r\nn=-3\r\ne=\r\n");
}

TEST_F(ProfileFileTest, AppendsANewSectionAtTheEnd) {
    EXPECT_EQ(AfterWrite("[s]\r\nk=1\r\n\r\n", "t", "x", "1"), "[s]\r\nk=1\r\n\r\n[t]\r\nx=1\r\n");
    // A final line without a line end gets one before the new section.
    EXPECT_EQ(AfterWrite("[s]\r\nk=1", "t", "x", "1"), "[s]\r\nk=1\r\n[t]\r\nx=1\r\n");
    EXPECT_EQ(AfterWrite("; only a comment", "t", "x", "1"), "; only a comment\r\n[t]\r\nx=1\r\n");
    EXPECT_EQ(AfterWrite("[s]\nk=1\r", "t", "x", "1"), "[s]\nk=1\r[t]\r\nx=1\r\n");
}

TEST_F(ProfileFileTest, InsertsANewKeyAfterTheLastKeyLineOfItsSection) {
    EXPECT_EQ(AfterWrite("[s]\r\nk=1\r\n;tail comment\r\n\r\n[t]\r\nx=1\r\n", "S", "new", "2"),
              "[s]\r\nk=1\r\nnew=2\r\n;tail comment\r\n\r\n[t]\r\nx=1\r\n");
    // A section with no key lines takes the key right after its header.
    EXPECT_EQ(AfterWrite("[s]\r\n;c\r\n[t]\r\n", "s", "new", "2"), "[s]\r\nnew=2\r\n;c\r\n[t]\r\n");
    // The first copy of a repeated section receives the key.
    EXPECT_EQ(AfterWrite("[s]\r\na=1\r\n[t]\r\n[s]\r\nb=2\r\n", "s", "b", "3"),
              "[s]\r\na=1\r\nb=3\r\n[t]\r\n[s]\r\nb=2\r\n");
    // A last key line without a line end gets one.
    EXPECT_EQ(AfterWrite("[s]\r\nk=1", "s", "j", "2"), "[s]\r\nk=1\r\nj=2\r\n");
}

TEST_F(ProfileFileTest, ReplacesAValueInPlaceAndKeepsEveryOtherByte) {
    const std::string before = "; head\n[S]\n  KEY = old \n other line\r[u]\r\nz=1\rkey=u\n";
    EXPECT_EQ(AfterWrite(before, "s", "key", "new"),
              "; head\n[S]\n  KEY =new\r\n other line\r[u]\r\nz=1\rkey=u\n");
    // Only the first of repeated keys changes.
    EXPECT_EQ(AfterWrite("[s]\r\nk=1\r\nk=2\r\n", "s", "K", "3"), "[s]\r\nk=3\r\nk=2\r\n");
    // A value written again unchanged leaves its line as it was.
    EXPECT_EQ(AfterWrite("[s]\n k = \"1\" \n", "s", "k", "1"), "[s]\n k = \"1\" \n");
    EXPECT_EQ(AfterWrite("[s]\r\nk=last", "s", "k", "x"), "[s]\r\nk=x\r\n");
}

TEST_F(ProfileFileTest, AwkwardValuesReadBackExactly) {
    const std::vector<std::string> values = {
        " a ",     "\"q\"", "'x'", "a=b",  ";x",   "",
        "\t",      "\"",    "'",   "\"a'", "[x]",  "\xd5\xc5\xc8\xfd",
        " \"q\" ", "\"\"",  "a\"", "  ",   "x # y"};
    {
        ProfileFile ini(Path);
        for (size_t i = 0; i < values.size(); ++i)
            ini.WriteString("v", "k" + std::to_string(i), values[i]);
        ini.UpdateFile();
    }
    ProfileFile reread(Path);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(reread.ReadString("v", "k" + std::to_string(i), "<default>"), values[i])
            << "value " << i;
    const std::string text = ReadFile(Path);
    EXPECT_NE(text.find("\r\nk0=\" a \"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nk1=\"\"q\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nk3=a=b\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nk5=\r\n"), std::string::npos);

    // Overwriting a value in the file with an awkward one quotes it there too.
    EXPECT_EQ(AfterWrite("[s]\r\nk=plain\r\n", "s", "k", " pad "), "[s]\r\nk=\" pad \"\r\n");
}

TEST_F(ProfileFileTest, RefusesLineBreaksAndNulsAndUnreadableNames) {
    const std::string before = "[s]\r\nk=1\r\n";
    WriteFile(Path, before);
    ProfileFile ini(Path);
    const std::vector<std::string> bad = {"a\rb", "a\nb", std::string("a\0b", 3), "\r\n[x]"};
    for (const std::string& value : bad) {
        try {
            ini.WriteString("s", "k", value);
            ADD_FAILURE() << "accepted a value with a line break or NUL";
        } catch (const rtl::EInOutError& error) {
            EXPECT_EQ(error.Message(), "Unable to write to " + Path);
        }
    }
    EXPECT_THROW(ini.WriteString("s", "a=b", "1"), rtl::EInOutError);
    EXPECT_THROW(ini.WriteString("s", ";k", "1"), rtl::EInOutError);
    EXPECT_THROW(ini.WriteString("s", " k", "1"), rtl::EInOutError);
    EXPECT_THROW(ini.WriteString("s", "k\n", "1"), rtl::EInOutError);
    EXPECT_THROW(ini.WriteString("a]b", "k", "1"), rtl::EInOutError);
    EXPECT_THROW(ini.WriteString("s\r", "k", "1"), rtl::EInOutError);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "1");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(Path), before);
}

TEST_F(ProfileFileTest, ABatchGivesTheFileThatSingleWritesGive) {
    const std::string start =
        "\xEF\xBB\xBF; settings\r\n[Setting]\r\nSound=1\r\n;x\r\n\r\n[TargetObj]\nName0=a\n"
        "Name0=dup\n[Other]\rkeep=me\r[targetobj]\r\nName1=second copy\r\nlast=no end";
    struct Write {
        std::string Section, Key, Value;
    };
    const std::vector<Write> writes = {{"Setting", "Second", "10"}, {"targetOBJ", "name0", "b"},
                                       {"TargetObj", "Name1", "c"}, {"New", "k", " spaced "},
                                       {"TargetObj", "Name1", "d"}, {"Other", "keep", "me"},
                                       {"Other", "more", "1"},      {"New", "j", ""},
                                       {"Setting", "sound", "0"},   {"Third", "x", "'q'"},
                                       {"New", "k", "again"},       {"Setting", "Second", "11"}};

    const std::string single = Folder.File("single.ini");
    WriteFile(single, start);
    for (const Write& write : writes) {
        ProfileFile ini(single);
        ini.WriteString(write.Section, write.Key, write.Value);
        ini.UpdateFile();
    }
    const std::string batch = Folder.File("batch.ini");
    WriteFile(batch, start);
    {
        ProfileFile ini(batch);
        for (const Write& write : writes)
            ini.WriteString(write.Section, write.Key, write.Value);
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFile(batch), ReadFile(single));
    EXPECT_NE(ReadFile(batch), start);
}

TEST_F(ProfileFileTest, ReadsOnceAndWritesOnce) {
    WriteFile(Path, "[s]\r\nk=1\r\n");
    const rtl::ProfileFileIoCounts before = rtl::ProfileFileIo();
    ProfileFile ini(Path);
    for (int i = 0; i < 500; ++i)
        ini.ReadString("s", "k" + std::to_string(i), "");
    for (int i = 0; i < 500; ++i)
        ini.WriteInteger("s", "k" + std::to_string(i), i);
    EXPECT_EQ(rtl::ProfileFileIo().Reads - before.Reads, 1u);
    EXPECT_EQ(rtl::ProfileFileIo().Replaces - before.Replaces, 0u);
    ini.UpdateFile();
    EXPECT_EQ(rtl::ProfileFileIo().Reads - before.Reads, 1u);
    EXPECT_EQ(rtl::ProfileFileIo().Replaces - before.Replaces, 1u);
}

TEST_F(ProfileFileTest, AFolderThatCannotBeWrittenLeavesTheOldFileAlone) {
    const std::string before = "[s]\r\nk=old\r\n";
    WriteFile(Path, before);
    ASSERT_EQ(::chmod(Folder.Path().c_str(), 0555), 0);
    const std::string path = Path;
    const int code = RunUnprivileged([&path] {
        ProfileFile ini(path);
        if (ini.ReadString("s", "k", "") != "old")
            return 1;
        ini.WriteString("s", "k", "new");
        try {
            ini.UpdateFile();
        } catch (const rtl::EInOutError& error) {
            return error.Message() == "Unable to write to " + path ? 0 : 2;
        }
        return 3;
    });
    ::chmod(Folder.Path().c_str(), 0700);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(Path), before);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(ProfileFileTest, AFolderThatIsNotThereRaisesTheMessage) {
    WriteFile(Folder.File("plain"), "x");
    for (const std::string& path : {Folder.File("plain/t.ini"), Folder.File("absent/t.ini")}) {
        ProfileFile ini(path);
        ini.WriteString("s", "k", "v");
        try {
            ini.UpdateFile();
            ADD_FAILURE() << "wrote " << path;
        } catch (const rtl::EInOutError& error) {
            EXPECT_EQ(error.Message(), "Unable to write to " + path);
        }
    }
}

TEST_F(ProfileFileTest, AFullDiskLeavesTheOldFileAndNoTemporary) {
    const std::string before = "[s]\r\nk=old\r\n";
    WriteFile(Path, before);
    ProfileFile ini(Path);
    ini.WriteString("s", "big", std::string(64 * 1024, 'x'));

    // A file-size limit makes the write fail part-way as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        ini.UpdateFile();
    } catch (const rtl::EInOutError& error) {
        message = error.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(message, "Unable to write to " + Path);
    EXPECT_EQ(ReadFile(Path), before);
    EXPECT_EQ(FilesInFolder(), 1u);
    // The same contents go through once there is room.
    ini.UpdateFile();
    EXPECT_EQ(ProfileFile(Path).ReadString("s", "big", "").size(), 64u * 1024);
}

TEST_F(ProfileFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    const std::string before = "[s]\r\nprecious=1\r\n";
    WriteFile(Path, before);
    ASSERT_EQ(::chmod(Path.c_str(), 0000), 0);
    ASSERT_EQ(::chmod(Folder.Path().c_str(), 0777), 0);
    const std::string path = Path;
    const int code = RunUnprivileged([&path] {
        ProfileFile ini(path);
        ini.WriteString("s", "other", "2");
        try {
            ini.UpdateFile();
        } catch (const rtl::EInOutError& error) {
            return error.Message() == "Unable to write to " + path ? 0 : 2;
        }
        return 3;
    });
    ::chmod(Folder.Path().c_str(), 0700);
    ::chmod(Path.c_str(), 0600);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(Path), before);
}

TEST_F(ProfileFileTest, KeepsPermissionsAndLinks) {
    const std::string real = Folder.File("real.ini");
    WriteFile(real, "[s]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), Path.c_str()), 0);
    {
        ProfileFile ini(Path);
        ini.WriteString("s", "k", "2");
        ini.UpdateFile();
    }
    struct stat info {};
    ASSERT_EQ(::lstat(Path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(real), "[s]\r\nk=2\r\n");
    EXPECT_EQ(FilesInFolder(), 2u);
}

TEST_F(ProfileFileTest, SurvivesTenMebibytesOfGarbageWithNuls) {
    std::mt19937 random(12345);
    std::string garbage(10 * 1024 * 1024, '\0');
    for (char& byte : garbage) {
        const auto pick = random() % 16;
        // Plenty of brackets, equals signs, line ends and NULs to exercise the parser.
        byte = pick == 0   ? '\n'
               : pick == 1 ? '['
               : pick == 2 ? '='
               : pick == 3 ? '\0'
               : pick == 4 ? ']'
               : pick == 5 ? '\r'
                           : static_cast<char>(random() % 256);
    }
    garbage += "\r\n[real]\r\nkey=value\r\n";
    WriteFile(Path, garbage);
    ProfileFile ini(Path);
    EXPECT_EQ(ini.ReadString("real", "key", ""), "value");
    ini.WriteString("zz new section", "k", "v");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(Path), garbage + "[zz new section]\r\nk=v\r\n");
}

TEST_F(ProfileFileTest, HandlesTenThousandKeys) {
    std::string content = "[big]\r\n";
    for (int i = 0; i < 10000; ++i)
        content += "key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    WriteFile(Path, content);
    {
        ProfileFile ini(Path);
        for (int i = 0; i < 10000; i += 2)
            ini.WriteInteger("big", "KEY" + std::to_string(i), -i);
        for (int i = 0; i < 10000; ++i)
            ini.WriteInteger("big", "added" + std::to_string(i), i);
        ini.UpdateFile();
    }
    ProfileFile reread(Path);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(reread.ReadInteger("big", "key" + std::to_string(i), 1), i % 2 ? i : -i);
        ASSERT_EQ(reread.ReadInteger("big", "added" + std::to_string(i), -1), i);
    }
}
