#include <QAction>
#include <QMenu>

#include "tests/app/gui/WatchCycleFixture.h"

namespace {
class LinkMenu : public testsupport::WatchCycleFixture {
protected:
    void SetUp() override { Open({}, {}); }

    // What opening the help menu does.
    void OpenHelpMenu() { emit Form->ui->mnuTray4->aboutToShow(); }
    QList<QAction*> Items() const { return Form->ui->mnuTrayQt->actions(); }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (QAction* item : Items())
            captions.push_back(rtl::ToGb(item->text()));
        return captions;
    }
    std::vector<std::string> Opened() const {
        std::vector<std::string> targets;
        for (const auto& call : Desktop.ShellOpens)
            targets.push_back(call.Target);
        return targets;
    }
};
}  // namespace

TEST_F(LinkMenu, ShowsOneItemPerEntryAndOpensItsTarget) {
    WritePrompts("#$Home\r\n##target-one\r\n#$Mail\r\n##target-two\r\n");
    OpenHelpMenu();
    ASSERT_EQ(Captions(), (std::vector<std::string>{"Home", "Mail"}));
    EXPECT_EQ(Items()[0]->data().toInt(), 0);
    EXPECT_EQ(Items()[1]->data().toInt(), 1);
    Items()[1]->trigger();
    ASSERT_EQ(Opened(), std::vector<std::string>{"target-two"});
    EXPECT_EQ(Desktop.ShellOpens[0].Mode, app::DesktopServices::ShowMode::Normal);
    EXPECT_EQ(Desktop.ShellOpens[0].Owner, Form.get());
}

TEST_F(LinkMenu, ReflectsTheFileEachTimeTheMenuOpens) {
    WritePrompts("#$Home\r\n##home\r\n");
    OpenHelpMenu();
    OpenHelpMenu();
    EXPECT_EQ(Captions(), std::vector<std::string>{"Home"});
    WritePrompts(Gb("#$主页\r\n##home\r\n#$新的\r\n##new\r\n"));
    OpenHelpMenu();
    EXPECT_EQ(Captions(), (std::vector<std::string>{Gb("主页"), Gb("新的")}));
    Items()[1]->trigger();
    EXPECT_EQ(Opened(), std::vector<std::string>{"new"});
}

TEST_F(LinkMenu, CaptionLineRightAfterACaptionIsATargetNotAnItem) {
    WritePrompts("#$First\r\n#$Second\r\n#$Last");
    OpenHelpMenu();
    ASSERT_EQ(Captions(), (std::vector<std::string>{"First", "Last"}));
    Items()[0]->trigger();
    Items()[1]->trigger();  // the last line of the file: an empty target
    EXPECT_EQ(Opened(), (std::vector<std::string>{"Second", ""}));
}

TEST_F(LinkMenu, EmptyFileGivesAnEmptySubmenu) {
    WritePrompts("#$Old\r\n##old\r\n");
    OpenHelpMenu();
    WritePrompts("");
    OpenHelpMenu();
    EXPECT_TRUE(Items().empty());
}

TEST_F(LinkMenu, VanishedEntryOpensNothing) {
    WritePrompts("#$Home\r\n##home\r\n#$Mail\r\n##mail\r\n");
    OpenHelpMenu();
    WritePrompts("#$Home\r\n##home\r\nlast line\r\n");
    Items()[1]->trigger();
    EXPECT_TRUE(Desktop.ShellOpens.empty());
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(LinkMenu, MissingFileIsReportedAndLeavesTheSubmenuEmpty) {
    WritePrompts("#$Home\r\n##home\r\n");
    OpenHelpMenu();
    std::remove(Folder.File("Message.ini").c_str());
    OpenHelpMenu();
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(Errors.Messages(), std::vector<std::string>{"File not found"});
}

TEST_F(LinkMenu, ItemChosenAfterTheFileWentMissingReportsTheError) {
    WritePrompts("#$Home\r\n##home\r\n");
    OpenHelpMenu();
    std::remove(Folder.File("Message.ini").c_str());
    Items()[0]->trigger();
    EXPECT_TRUE(Desktop.ShellOpens.empty());
    EXPECT_EQ(Errors.Messages(), std::vector<std::string>{"File not found"});
}

TEST_F(LinkMenu, ClickFromSomethingElseThanALinkItemDoesNothing) {
    WritePrompts("#$Home\r\n##home\r\n");
    QObject notAnItem;
    QAction unrelated;
    Form->Myclick(&notAnItem);
    Form->Myclick(&unrelated);
    Form->Myclick(nullptr);
    EXPECT_TRUE(Desktop.ShellOpens.empty());
}

TEST_F(LinkMenu, EditCommandOpensThePromptFileBesideTheProgram) {
    Form->ui->mnuTrayEdit->trigger();
    ASSERT_EQ(Opened(), std::vector<std::string>{Folder.File("Message.ini")});
    EXPECT_EQ(Desktop.ShellOpens[0].Mode, app::DesktopServices::ShowMode::Normal);
}
