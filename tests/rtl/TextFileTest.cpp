#include "rtl/TextFile.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "tests/support/TestSupport.h"

using rtl::TextFileReader;

namespace {
std::vector<std::string> AllLines(const std::string& content) {
    testsupport::TempFolder folder;
    testsupport::WriteFile(folder.File("t.txt"), content);
    TextFileReader reader(folder.File("t.txt"));
    std::vector<std::string> lines;
    while (!reader.Eof())
        lines.push_back(reader.ReadLn());
    return lines;
}
}  // namespace

TEST(TextFileReader, SplitsAtEveryKindOfLineEnd) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(AllLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(AllLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(AllLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(AllLines("a\r\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(AllLines(""), Lines{});
}

TEST(TextFileReader, KeepsBytesUnchanged) {
    const std::string gb = "\xc4\xe3\xba\xc3";  // GB2312 for a two-character greeting
    EXPECT_EQ(AllLines(gb + "\r\n" + std::string("\0x", 2)),
              (std::vector<std::string>{gb, std::string("\0x", 2)}));
}

TEST(TextFileReader, ReadingPastTheEndYieldsEmptyLines) {
    testsupport::TempFolder folder;
    testsupport::WriteFile(folder.File("t.txt"), "only\r\n");
    TextFileReader reader(folder.File("t.txt"));
    EXPECT_EQ(reader.ReadLn(), "only");
    EXPECT_TRUE(reader.Eof());
    EXPECT_EQ(reader.ReadLn(), "");
    EXPECT_EQ(reader.ReadLn(), "");
}

TEST(TextFileReader, MissingFileIsFileNotFound) {
    testsupport::TempFolder folder;
    try {
        TextFileReader reader(folder.File("absent.ini"));
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.Message(), "File not found");
    }
    EXPECT_THROW(rtl::ReadWholeFile(folder.Path()), rtl::EInOutError);  // a folder is no file
}
