#include "app/watch/PromptFile.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "tests/support/TestSupport.h"

using namespace app;

namespace {
// A prompt file in its own temporary folder.
class PromptFileTest : public testing::Test {
protected:
    std::string Write(const std::string& content) {
        testsupport::WriteFile(FFolder.File("Message.ini"), content);
        return FFolder.File("Message.ini");
    }
    std::string Missing() const { return FFolder.File("absent.ini"); }

private:
    testsupport::TempFolder FFolder;
};

template <class Call>
std::string ErrorOf(Call call) {
    try {
        call();
    } catch (const rtl::EInOutError& error) {
        return error.Message();
    }
    return "no error";
}
}  // namespace

TEST_F(PromptFileTest, CountSkipsEveryLineWithAHashAnywhere) {
    EXPECT_EQ(CountPromptLines(Write("one\r\n#comment\r\nsee #1\r\n\r\ntwo\r\n")), 3);
    EXPECT_EQ(CountPromptLines(Write("")), 0);
    EXPECT_EQ(CountPromptLines(Write("#a\n#$b\n##c\n")), 0);
    EXPECT_EQ(CountPromptLines(Write("last line without end")), 1);
    EXPECT_EQ(CountPromptLines(Write("\n\n")), 2);
}

TEST_F(PromptFileTest, PickSkipsOnlyLinesThatBeginWithAHash) {
    const std::string file = Write("#head\r\nsee #1\r\n#mid\r\nhello\r\n\r\nbye\r\n");
    EXPECT_EQ(PickPromptLine(file, 0), "see #1");
    EXPECT_EQ(PickPromptLine(file, 1), "hello");
    EXPECT_EQ(PickPromptLine(file, 2), "");
    EXPECT_EQ(PickPromptLine(file, 3), "bye");
    // Past the end the file reads as empty lines.
    EXPECT_EQ(PickPromptLine(file, 4), "");
    EXPECT_EQ(PickPromptLine(file, 1000), "");
    EXPECT_EQ(PickPromptLine(file, -1), "");
}

TEST_F(PromptFileTest, FileOfCommentsOnlyGivesAnEmptyPrompt) {
    const std::string file = Write("# one\n#$Link\n##http://x/\n");
    EXPECT_EQ(CountPromptLines(file), 0);
    EXPECT_EQ(PickPromptLine(file, 0), "");
}

TEST_F(PromptFileTest, LinkTargetsAreCountedAsPromptsUnlessTheyBeginWithAHash) {
    const std::string file = Write("#$Home\r\n  http://home/\r\nhi\r\n");
    EXPECT_EQ(CountPromptLines(file), 2);
    EXPECT_EQ(PickPromptLine(file, 0), "  http://home/");
    EXPECT_EQ(LinkTarget(file, 0), "http://home/");
}

TEST_F(PromptFileTest, LinkEntriesTakeTwoLines) {
    const std::string file =
        Write("#$Home\r\n##target-one\r\nprompt\r\n#$Mail\r\n##target-two\r\n");
    EXPECT_EQ(ReadLinkCaptions(file), (std::vector<std::string>{"Home", "Mail"}));
    EXPECT_EQ(LinkTarget(file, 0), "target-one");
    EXPECT_EQ(LinkTarget(file, 1), "target-two");
}

TEST_F(PromptFileTest, CaptionLineAfterACaptionIsTheFirstEntrysTarget) {
    const std::string file = Write("#$First\n#$Second\n#$Third\n##three\n");
    EXPECT_EQ(ReadLinkCaptions(file), (std::vector<std::string>{"First", "Third"}));
    EXPECT_EQ(LinkTarget(file, 0), "Second");
    EXPECT_EQ(LinkTarget(file, 1), "three");
}

TEST_F(PromptFileTest, CaptionAsTheLastLineHasAnEmptyTarget) {
    const std::string file = Write("#$A\n##a\n#$Last");
    EXPECT_EQ(ReadLinkCaptions(file), (std::vector<std::string>{"A", "Last"}));
    EXPECT_EQ(LinkTarget(file, 1), std::optional<std::string>(""));
    // A target line of one character also leaves nothing after the two dropped.
    EXPECT_EQ(LinkTarget(Write("#$A\nx\n"), 0), std::optional<std::string>(""));
    EXPECT_EQ(ReadLinkCaptions(Write("#$\n##t\n")), (std::vector<std::string>{""}));
}

TEST_F(PromptFileTest, EmptyFileHasNoEntries) {
    const std::string file = Write("");
    EXPECT_TRUE(ReadLinkCaptions(file).empty());
    EXPECT_EQ(LinkTarget(file, 0), std::nullopt);
}

TEST_F(PromptFileTest, VanishedEntryHasNoTarget) {
    const std::string file = Write("#$Home\n##home\nlast line\n");
    EXPECT_EQ(LinkTarget(file, 1), std::nullopt);
    EXPECT_EQ(LinkTarget(file, -1), std::nullopt);
}

TEST_F(PromptFileTest, LinkEntriesStopAtTheMenuLimit) {
    std::string content;
    for (int i = 0; i < MaxLinkEntries + 5; ++i)
        content += "#$c" + std::to_string(i) + "\n##t" + std::to_string(i) + "\n";
    const auto captions = ReadLinkCaptions(Write(content));
    ASSERT_EQ(captions.size(), static_cast<size_t>(MaxLinkEntries));
    EXPECT_EQ(captions.back(), "c" + std::to_string(MaxLinkEntries - 1));
}

TEST_F(PromptFileTest, MissingFileRaisesFileNotFound) {
    EXPECT_EQ(ErrorOf([&] { CountPromptLines(Missing()); }), "File not found");
    EXPECT_EQ(ErrorOf([&] { PickPromptLine(Missing(), 0); }), "File not found");
    EXPECT_EQ(ErrorOf([&] { ReadLinkCaptions(Missing()); }), "File not found");
    EXPECT_EQ(ErrorOf([&] { LinkTarget(Missing(), 0); }), "File not found");
}
