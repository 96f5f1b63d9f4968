#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/gui/About.h"
#include "app/gui/Product.h"
#include "app/gui/StatusBar.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit1Ui.h"
#include "app/gui/Unit2.h"
#include "app/gui/UpDown.h"
#include "app/watch/Settings.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace {

using app::DesktopServices;
using rtl::Gb;

class CommandsTest : public testing::Test {
protected:
    app::TForm1& Create(bool running = true) {
        testsupport::WriteFile(app::SettingsFileName(Folder.Path()),
                               std::string("[Setting]\r\nAutoMin=0\r\nSecond=10\r\nAutoUp=") +
                                   (running ? "1" : "0") +
                                   "\r\n[TargetSite]\r\nSite0=A\r\nSite0Url=http://a/\r\n");
        Form = std::make_unique<app::TForm1>(State, Desktop, Folder.Path());
        Form->show();
        return *Form;
    }
    Ui::TForm1& Ui() { return *Form->ui; }

    void MoveOver(QWidget* widget, QPoint at = QPoint(5, 5)) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    std::string HintAtStatusBarX(int x) {
        Form->SetStatusText(1, "");
        MoveOver(Ui().StatusBar1, QPoint(x, 8));
        return Form->StatusText(1);
    }

    testsupport::TempFolder Folder;
    testsupport::FakeDesktopServices Desktop;
    testsupport::ErrorRecorder Errors;
    app::WatchState State;
    std::unique_ptr<app::TForm1> Form;
};

TEST_F(CommandsTest, IntervalDialogStepsToSevenAndOkSetsTheTimerInterval) {
    Create();
    bool timerWhileOpen = true;
    QString shownAtOpen;
    QString shownBeforeOk;
    Desktop.OnRunModal = [&](QDialog& dialog) {
        timerWhileOpen = Form->Timer1->Enabled();
        auto* edit = dialog.findChild<QLineEdit*>("setedit");
        auto* upDown = dialog.findChild<app::TUpDown*>("UpDown1");
        shownAtOpen = edit->text();
        for (int i = 0; i < 3; ++i)
            upDown->DownButton()->click();
        shownBeforeOk = edit->text();
        dialog.findChild<QPushButton*>("setyes")->click();
        return dialog.result();
    };
    Ui().mnuTrayTime->trigger();
    ASSERT_EQ(Desktop.ModalDialogs.size(), 1u);
    EXPECT_EQ(shownAtOpen, "10");
    EXPECT_EQ(shownBeforeOk, "7");
    EXPECT_FALSE(timerWhileOpen) << "no watch cycle while the dialog is open";
    EXPECT_EQ(State.IntervalSeconds, 7);
    EXPECT_EQ(Form->Timer1->Interval(), 7000);
    EXPECT_TRUE(Form->Timer1->Enabled()) << "running again afterwards";
}

TEST_F(CommandsTest, CancellingTheIntervalDialogChangesNothingAndPausedStaysPaused) {
    Create(/*running=*/false);
    Desktop.OnRunModal = [&](QDialog& dialog) {
        dialog.findChild<app::TUpDown*>("UpDown1")->UpButton()->click();
        dialog.findChild<QPushButton*>("setno")->click();
        return dialog.result();
    };
    Ui().mnuTrayTime->trigger();
    EXPECT_EQ(State.IntervalSeconds, 10);
    EXPECT_EQ(Form->Timer1->Interval(), 10000);
    EXPECT_FALSE(Form->Timer1->Enabled());
}

TEST_F(CommandsTest, TheAboutBoxHasItsTitleAndStopsTheTimerWhileShown) {
    Create();
    QString caption;
    bool timerWhileOpen = true;
    Desktop.OnRunModal = [&](QDialog& dialog) {
        caption = dialog.windowTitle();
        timerWhileOpen = Form->Timer1->Enabled();
        return static_cast<int>(QDialog::Rejected);
    };
    Ui().mnuTrayAbout->trigger();
    EXPECT_EQ(caption, QString::fromUtf8("About Perchly v1.45(2000/07/15)"));
    EXPECT_FALSE(timerWhileOpen);
    EXPECT_TRUE(Form->Timer1->Enabled());
}

TEST_F(CommandsTest, ATimerStateIsRestoredEvenWhenTheDialogFails) {
    Create();
    Desktop.OnRunModal = [](QDialog&) -> int { throw std::runtime_error("no dialog today"); };
    Ui().mnuTrayAbout->trigger();
    EXPECT_TRUE(Form->Timer1->Enabled());
    ASSERT_EQ(Errors.Messages().size(), 1u) << "the failure reaches the error report";
}

// The program's current folder, for as long as the object lives.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) : FBefore(QDir::currentPath()) {
        QDir::setCurrent(QString::fromStdString(folder));
    }
    ~CurrentFolder() { QDir::setCurrent(FBefore); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    QString FBefore;
};

TEST_F(CommandsTest, HelpMailAndHomePageOpenThroughTheShell) {
    Create();
    testsupport::TempFolder current;
    CurrentFolder inside(current.Path());
    testsupport::WriteFile(current.File("Perchly.hlp"), "help");
    Ui().mnuTrayHelp->trigger();
    Ui().mnuTrayMail->trigger();
    Ui().mnuTrayPage->trigger();
    QTest::mouseClick(Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    ASSERT_EQ(Desktop.ShellOpens.size(), 4u);
    EXPECT_EQ(Desktop.ShellOpens[0].Target, "Perchly.hlp") << "a bare name, for the current folder";
    EXPECT_EQ(Desktop.ShellOpens[0].Mode, DesktopServices::ShowMode::Normal);
    EXPECT_EQ(Desktop.ShellOpens[1].Target.rfind("mailto:", 0), 0u);
    EXPECT_EQ(Desktop.ShellOpens[1].Mode, DesktopServices::ShowMode::Normal);
    EXPECT_EQ(Desktop.ShellOpens[2].Target, app::HomePage);
    EXPECT_EQ(Desktop.ShellOpens[2].Mode, DesktopServices::ShowMode::Maximized);
    EXPECT_EQ(Desktop.ShellOpens[3].Target, app::HomePage);
    EXPECT_EQ(Desktop.ShellOpens[3].Mode, DesktopServices::ShowMode::Maximized);
    for (const auto& open : Desktop.ShellOpens)
        EXPECT_EQ(open.Owner, Form.get());
    EXPECT_EQ(Ui().mnuTrayHelp->shortcut(), QKeySequence(Qt::Key_F1));
}

// F1: a help file of the user's own in the current folder, else the guide
// beside the program, else a message that there is no help to open.
TEST_F(CommandsTest, HelpOpensTheUsersHelpFileElseTheGuide) {
    Create();
    testsupport::TempFolder current;
    CurrentFolder inside(current.Path());
    const std::string guide = Folder.File("perchly.html");
    struct Case {
        const char* What;
        bool HelpFile;       // Perchly.hlp is a file in the current folder
        bool HelpFolder;     // ... or a folder of that name
        bool Guide;          // the guide is there
        const char* Opened;  // nullptr: nothing opened
    };
    const Case cases[] = {
        {"help file and guide", true, false, true, "Perchly.hlp"},
        {"help file only", true, false, false, "Perchly.hlp"},
        {"a folder named like the help file", false, true, true, "guide"},
        {"the guide only", false, false, true, "guide"},
        {"no help at all", false, true, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::filesystem::remove_all(current.File("Perchly.hlp"));
        std::filesystem::remove(guide);
        if (c.HelpFile)
            testsupport::WriteFile(current.File("Perchly.hlp"), "help");
        if (c.HelpFolder)
            std::filesystem::create_directory(current.File("Perchly.hlp"));
        if (c.Guide)
            testsupport::WriteFile(guide, "<html></html>");
        Desktop.ShellOpens.clear();
        Desktop.Messages.clear();

        Ui().mnuTrayHelp->trigger();
        if (c.Opened == nullptr) {
            EXPECT_TRUE(Desktop.ShellOpens.empty());
            ASSERT_EQ(Desktop.Messages.size(), 1u);
            EXPECT_EQ(Desktop.Messages[0].rfind(Gb("没有找到帮助文档"), 0), 0u);
            EXPECT_NE(Desktop.Messages[0].find(guide), std::string::npos) << "where to look";
            continue;
        }
        ASSERT_EQ(Desktop.ShellOpens.size(), 1u);
        EXPECT_EQ(Desktop.ShellOpens[0].Target,
                  std::string(c.Opened) == "guide" ? guide : std::string(c.Opened));
        EXPECT_EQ(Desktop.ShellOpens[0].Mode, DesktopServices::ShowMode::Normal);
        EXPECT_TRUE(Desktop.Messages.empty());
    }
}

// A desktop that cannot hand a file or a link to any program says so, for
// every command that opens one.
TEST_F(CommandsTest, ADesktopWithoutAnOpenerSaysSoInAPlainMessage) {
    Create();
    testsupport::WriteFile(Folder.File("perchly.html"), "<html></html>");
    Desktop.ShellOpenWorks = false;
    struct Case {
        const char* What;
        std::function<void()> Command;
        std::string Target;
    };
    const Case cases[] = {
        {"F1", [&] { Ui().mnuTrayHelp->trigger(); }, Folder.File("perchly.html")},
        {"mail", [&] { Ui().mnuTrayMail->trigger(); }, app::FeedbackMailLink},
        {"home page", [&] { Ui().mnuTrayPage->trigger(); }, app::HomePage},
        {"banner", [&] { QTest::mouseClick(Ui().Image1, Qt::LeftButton); }, app::HomePage},
        {"prompt file", [&] { Ui().mnuTrayEdit->trigger(); }, Form->MessageFile()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Desktop.Messages.clear();
        c.Command();
        ASSERT_EQ(Desktop.Messages.size(), 1u);
        EXPECT_EQ(Desktop.Messages[0].rfind(Gb("无法打开 ") + c.Target, 0), 0u)
            << Desktop.Messages[0];
        EXPECT_NE(Desktop.Messages[0].find("xdg-utils"), std::string::npos);
    }
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(CommandsTest, StatusBarHintsFollowThePanelUnderTheMouse) {
    Create();
    EXPECT_EQ(HintAtStatusBarX(0), Gb("开启(关闭)声音"));
    EXPECT_EQ(HintAtStatusBarX(51), Gb("开启(关闭)声音"));
    EXPECT_EQ(HintAtStatusBarX(52), Gb("单击显示监控信息"));
    EXPECT_EQ(HintAtStatusBarX(385), Gb("单击显示监控信息"));
    EXPECT_EQ(HintAtStatusBarX(386), Gb("开始(暂停)监控"));

    // A disabled bar (an editor is open) ignores the mouse.
    Ui().Button1->click();
    Form->SetStatusText(1, "kept");
    MoveOver(Ui().StatusBar1, QPoint(10, 8));
    EXPECT_EQ(Form->StatusText(1), "kept");
}

TEST_F(CommandsTest, HoverHintsNameWhatEachControlDoes) {
    Create();
    struct Case {
        QWidget* Widget;
        const char* Hint;
    };
    const Case cases[] = {
        {Ui().ListBox1->viewport(), "可用Ctrl(或Shift)+左键或拖拉同时选取多个站点"},
        {Ui().ListBox2->viewport(), "可用Ctrl(或Shift)+左键或拖拉同时选取多个目标"},
        {Ui().Button1, "编辑站点"},
        {Ui().Button3, "编辑目标"},
        {Ui().Button2, "选中所有添加的站点"},
        {Ui().Button4, "选中所有添加的目标"},
        {Ui().Memo1->viewport(), "可用快捷键Ctrl+T切换测试栏"},
    };
    for (const Case& c : cases) {
        Form->SetStatusText(1, "");
        MoveOver(c.Widget);
        EXPECT_EQ(Form->StatusText(1), Gb(c.Hint)) << c.Hint;
    }
    MoveOver(Ui().Image1);
    EXPECT_NE(Form->StatusText(1).find(app::HomePage), std::string::npos);
    EXPECT_NE(Form->StatusText(1).find("Ctrl+T"), std::string::npos);
}

TEST_F(CommandsTest, TooltipsAreSetWhereTheyHelpAndNowhereElse) {
    Create();
    EXPECT_EQ(Ui().ComboBox1->toolTip(), QString::fromUtf8("聊天室名字"));
    EXPECT_NE(Ui().Image1->toolTip().indexOf(QString::fromUtf8(app::HomePage)), -1);
    for (QWidget* none :
         {static_cast<QWidget*>(Ui().ListBox2), static_cast<QWidget*>(Ui().Button1),
          static_cast<QWidget*>(Ui().ComboBox2), static_cast<QWidget*>(Ui().StatusBar1)})
        EXPECT_TRUE(none->toolTip().isEmpty()) << none->objectName().toStdString();

    Ui().Button1->click();
    const QString longUrl = "http://chat.example.net/rooms/lobby/who-is-here.html?order=nick";
    Ui().Edit1->setText(longUrl);
    MoveOver(Ui().Edit1);
    EXPECT_EQ(Ui().Edit1->toolTip(), longUrl);
}

}  // namespace
