#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <memory>

#include "app/gui/Product.h"
#include "app/gui/QtDesktopServices.h"
#include "app/gui/Timer.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit1Ui.h"
#include "app/gui/WavPlayer.h"
#include "app/watch/Settings.h"
#include "rtl/Exceptions.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace {

using app::DesktopServices;
using rtl::Gb;
using testsupport::ReadFile;
using testsupport::WriteFile;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class Form1Test : public testing::Test {
protected:
    std::string IniPath() const { return app::SettingsFileName(Folder.Path()); }
    void WriteIni(const std::string& content) { WriteFile(IniPath(), content); }

    app::TForm1& Create(const std::string& folder) {
        Form = std::make_unique<app::TForm1>(State, Desktop, folder);
        return *Form;
    }
    app::TForm1& Create() { return Create(Folder.Path()); }

    void ClickStatusBar(int x, Qt::MouseButton button = Qt::LeftButton) {
        QWidget* bar = Form->ui->StatusBar1;
        QPointF at(x, 8);
        QMouseEvent press(QEvent::MouseButtonPress, at, bar->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(bar, &press);
    }

    std::vector<QString> VisibleBannerItems() {
        emit Form->PopupMenu1->aboutToShow();
        std::vector<QString> texts;
        for (QAction* item : Form->PopupMenu1->actions())
            if (item->isVisible())
                texts.push_back(item->text());
        return texts;
    }

    bool Minimised() const { return (Form->windowState() & Qt::WindowMinimized) != 0; }

    testsupport::TempFolder Folder;
    testsupport::FakeDesktopServices Desktop;
    testsupport::ErrorRecorder Errors;
    app::WatchState State;
    std::unique_ptr<app::TForm1> Form;
};

TEST_F(Form1Test, NoSettingsFileStartsWithDefaults) {
    app::TForm1& form = Create();
    EXPECT_EQ(form.windowTitle(), Q("Perchly v1.45"));
    EXPECT_EQ(form.ui->ListBox1->count(), 0);
    EXPECT_EQ(form.ui->ListBox2->count(), 0);
    EXPECT_TRUE(State.SoundOn);
    EXPECT_TRUE(form.ui->mnuTraySound->isChecked());
    EXPECT_EQ(form.StatusText(0), Gb("声音打开"));
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_EQ(form.Timer1->Interval(), 10000);
    EXPECT_EQ(form.StatusText(2), Gb("正在监控"));
    EXPECT_EQ(form.ui->mnuTrayPause->text(), Q("暂停监控"));
    EXPECT_TRUE(form.ui->mnuTrayStart->isChecked());
    EXPECT_TRUE(form.ui->N4->isChecked());
    EXPECT_TRUE(form.ui->Memo1->isHidden());
    EXPECT_FALSE(form.ui->GroupBox3->isHidden());
    // Starting with monitoring on and auto-minimise on does not minimise.
    EXPECT_FALSE(Minimised());
    EXPECT_TRUE(Desktop.MessageBoxes.empty());
    EXPECT_TRUE(Errors.Messages().empty());
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(221, 238, 255));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(Form1Test, LoadedSwitchesAndIntervalReachTheWindow) {
    WriteIni("[Setting]\r\nSound=0\r\nAutoMin=0\r\nSecond=30\r\n");
    app::TForm1& form = Create();
    EXPECT_FALSE(form.ui->mnuTraySound->isChecked());
    EXPECT_EQ(form.StatusText(0), Gb("声音关闭"));
    EXPECT_FALSE(form.ui->N4->isChecked());
    EXPECT_EQ(form.Timer1->Interval(), 30000);
}

TEST_F(Form1Test, RowsAreShownSelectedOnlyForFlagOne) {
    WriteIni(
        Gb("[TargetObj]\r\nName0=阿明\r\nName0ch=1\r\nName1=bob\r\nName1ch=2\r\n"
           "Name2=carl\r\nName2ch=0\r\n"
           "[TargetSite]\r\nSite0=大厅\r\nSite0Url=http://a/\r\nSite0ch=2\r\n"
           "Site1=west\r\nSite1Url=http://b/\r\nSite1ch=1\r\n"));
    app::TForm1& form = Create();
    ASSERT_EQ(form.ui->ListBox2->count(), 3);
    EXPECT_EQ(form.ui->ListBox2->item(0)->text(), Q("阿明"));
    EXPECT_TRUE(form.ui->ListBox2->item(0)->isSelected());
    EXPECT_FALSE(form.ui->ListBox2->item(1)->isSelected());
    EXPECT_FALSE(form.ui->ListBox2->item(2)->isSelected());
    ASSERT_EQ(form.ui->ListBox1->count(), 2);
    EXPECT_EQ(form.ui->ListBox1->item(0)->text(), Q("大厅"));
    EXPECT_FALSE(form.ui->ListBox1->item(0)->isSelected());
    EXPECT_TRUE(form.ui->ListBox1->item(1)->isSelected());
    // The flag itself is kept: the watch cycle still treats 2 as watched.
    EXPECT_EQ(State.Targets[1].Selected, 2);
    EXPECT_EQ(State.Sites[0].Selected, 2);
}

TEST_F(Form1Test, AutoUpOffStartsPausedAndFirstClickResumes) {
    WriteIni("[Setting]\r\nAutoUp=0\r\nAutoMin=0\r\n");
    app::TForm1& form = Create();
    EXPECT_FALSE(form.Timer1->Enabled());
    EXPECT_FALSE(form.ui->mnuTrayStart->isChecked());
    EXPECT_EQ(form.StatusText(2), Gb("暂停监控"));
    EXPECT_EQ(form.ui->mnuTrayPause->text(), Q("开始监控"));

    form.ui->mnuTrayPause->trigger();
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_EQ(form.ui->mnuTrayPause->text(), Q("暂停监控(&Y)"));
    EXPECT_EQ(form.StatusText(2), Gb("正在监控"));
    EXPECT_FALSE(Minimised());
}

TEST_F(Form1Test, PauseAndResumeMinimisesOnlyWithAutoMinimise) {
    app::TForm1& form = Create();
    form.ui->mnuTrayPause->trigger();
    EXPECT_FALSE(form.Timer1->Enabled());
    EXPECT_EQ(form.ui->mnuTrayPause->text(), Q("开始监控(&Y)"));
    EXPECT_EQ(form.StatusText(2), Gb("暂停监控"));
    EXPECT_FALSE(Minimised());
    form.ui->mnuTrayPause->trigger();
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_TRUE(Minimised());

    form.setWindowState(Qt::WindowNoState);
    form.ui->N4->trigger();  // auto-minimise off
    EXPECT_FALSE(form.ui->N4->isChecked());
    form.ui->mnuTrayPause->trigger();
    form.ui->mnuTrayPause->trigger();
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_FALSE(Minimised());
}

TEST_F(Form1Test, SwitchesAreWrittenAtEachToggle) {
    app::TForm1& form = Create();
    form.ui->mnuTraySound->trigger();
    EXPECT_FALSE(form.ui->mnuTraySound->isChecked());
    EXPECT_FALSE(State.SoundOn);
    EXPECT_EQ(form.StatusText(0), Gb("声音关闭"));
    EXPECT_TRUE(Contains(ReadFile(IniPath()), "Sound=0"));

    form.ui->mnuTrayStart->trigger();
    EXPECT_FALSE(form.ui->mnuTrayStart->isChecked());
    // The start switch decides the next start only; monitoring goes on.
    EXPECT_TRUE(form.Timer1->Enabled());
    form.ui->N4->trigger();
    std::string ini = ReadFile(IniPath());
    EXPECT_TRUE(Contains(ini, "AutoUp=0"));
    EXPECT_TRUE(Contains(ini, "AutoMin=0"));

    form.ui->mnuTraySound->trigger();
    EXPECT_TRUE(State.SoundOn);
    EXPECT_EQ(form.StatusText(0), Gb("声音打开"));
    EXPECT_TRUE(Contains(ReadFile(IniPath()), "Sound=1"));
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(Form1Test, FailedSoundWriteKeepsTheNewCheckMarkButSkipsTheStatus) {
    std::string folder = Folder.Path() + "missing/";
    app::TForm1& form = Create(folder);
    form.ui->mnuTraySound->trigger();
    ASSERT_EQ(Errors.Messages().size(), 1u);
    EXPECT_EQ(Errors.Messages()[0], "Unable to write to " + app::SettingsFileName(folder));
    EXPECT_FALSE(form.ui->mnuTraySound->isChecked());
    EXPECT_FALSE(State.SoundOn);
    EXPECT_EQ(form.StatusText(0), Gb("声音打开"));
}

TEST_F(Form1Test, StatusBarClicksActByPanel) {
    WriteIni("[Setting]\r\nAutoMin=0\r\n");
    app::TForm1& form = Create();
    ClickStatusBar(51, Qt::RightButton);
    EXPECT_FALSE(State.SoundOn);
    EXPECT_TRUE(form.ui->Memo1->isHidden());
    EXPECT_TRUE(form.Timer1->Enabled());

    ClickStatusBar(52);
    EXPECT_FALSE(form.ui->Memo1->isHidden());
    EXPECT_FALSE(State.SoundOn);
    ClickStatusBar(385, Qt::MiddleButton);
    EXPECT_TRUE(form.ui->Memo1->isHidden());
    EXPECT_TRUE(form.Timer1->Enabled());

    ClickStatusBar(386);
    EXPECT_FALSE(form.Timer1->Enabled());
    EXPECT_EQ(form.StatusText(2), Gb("暂停监控"));
    EXPECT_TRUE(form.ui->Memo1->isHidden());
    EXPECT_FALSE(State.SoundOn);

    // A disabled bar (an editor is open) ignores clicks.
    form.ui->StatusBar1->setEnabled(false);
    ClickStatusBar(10);
    ClickStatusBar(400);
    EXPECT_FALSE(State.SoundOn);
    EXPECT_FALSE(form.Timer1->Enabled());
}

TEST_F(Form1Test, BannerMenuShowsExactlyTheTwoApplicableItems) {
    app::TForm1& form = Create();
    EXPECT_EQ(VisibleBannerItems(), (std::vector<QString>{Q("暂停监控(&Y)"), Q("关闭声音(&T)")}));

    form.N3->trigger();
    EXPECT_FALSE(form.Timer1->Enabled());
    form.N1->trigger();
    EXPECT_FALSE(State.SoundOn);
    EXPECT_EQ(VisibleBannerItems(), (std::vector<QString>{Q("开始监控(&Y)"), Q("打开声音(&T)")}));

    form.N2->trigger();
    form.N0->trigger();
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_TRUE(State.SoundOn);
    EXPECT_EQ(VisibleBannerItems(), (std::vector<QString>{Q("暂停监控(&Y)"), Q("关闭声音(&T)")}));
}

TEST_F(Form1Test, TestPanelToggleSwapsBannerAndCaption) {
    app::TForm1& form = Create();
    form.ui->T1->trigger();
    EXPECT_FALSE(form.ui->Memo1->isHidden());
    EXPECT_TRUE(form.ui->GroupBox3->isHidden());
    EXPECT_EQ(form.ui->T1->text(), Q("隐藏测试结果(&V)"));
    form.ui->T1->trigger();
    EXPECT_TRUE(form.ui->Memo1->isHidden());
    EXPECT_FALSE(form.ui->GroupBox3->isHidden());
    EXPECT_EQ(form.ui->T1->text(), Q("查看测试状态(&V)"));
    EXPECT_EQ(form.ui->T1->shortcut(), QKeySequence("Ctrl+T"));
}

TEST_F(Form1Test, LeapDayGreetingAppearsOnlyOnTwentyNinthFebruary) {
    for (QDate day : {QDate(2004, 2, 28), QDate(2004, 3, 1), QDate(2003, 3, 1)}) {
        Desktop.TodayValue = day;
        Create();
        EXPECT_TRUE(Desktop.MessageBoxes.empty()) << day.toString().toStdString();
    }

    // The greeting comes before the load: the lists are still empty then.
    WriteIni("[TargetObj]\r\nName0=amy\r\nName0ch=1\r\n[Setting]\r\nSecond=30\r\n");
    Desktop.TodayValue = QDate(2004, 2, 29);
    Desktop.Answers = {DesktopServices::Answer::No};
    bool loadedBeforeBox = true;
    Desktop.OnMessageBox = [&](const auto&) {
        loadedBeforeBox = State.Targets[0].Name == "amy" || State.IntervalSeconds == 30;
    };
    Create();
    EXPECT_FALSE(loadedBeforeBox);
    EXPECT_EQ(Form->ui->ListBox2->count(), 1);
    Desktop.OnMessageBox = nullptr;
    ASSERT_EQ(Desktop.MessageBoxes.size(), 1u);
    EXPECT_EQ(Desktop.MessageBoxes[0].ButtonSet, DesktopServices::Buttons::YesNo);
    EXPECT_EQ(Desktop.MessageBoxes[0].IconKind, DesktopServices::Icon::Question);
    EXPECT_EQ(Desktop.MessageBoxes[0].Owner, Form.get());
    EXPECT_TRUE(Desktop.ShellOpens.empty());

    Desktop.Answers = {DesktopServices::Answer::Yes};
    Create();
    ASSERT_EQ(Desktop.ShellOpens.size(), 1u);
    EXPECT_EQ(Desktop.ShellOpens[0].Target, app::FeedbackMailLink);
    EXPECT_EQ(Desktop.ShellOpens[0].Mode, DesktopServices::ShowMode::Normal);
}

TEST_F(Form1Test, ClosingWithoutSettingsFileWritesEveryKey) {
    app::TForm1& form = Create();
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.Timer1->Enabled());
    std::string ini = ReadFile(IniPath());
    EXPECT_TRUE(Contains(ini, "Second=10"));
    EXPECT_TRUE(Contains(ini, "Name0="));
    EXPECT_TRUE(Contains(ini, "Name57ch=0"));
    EXPECT_TRUE(Contains(ini, "Name99ch=0"));
    EXPECT_TRUE(Contains(ini, "Site99Url="));
    EXPECT_TRUE(Contains(ini, "Site99ch=0"));
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(Form1Test, ExitCommandSavesEditedState) {
    app::TForm1& form = Create();
    form.show();
    State.Targets[0] = {Gb("小红"), 1};
    State.IntervalSeconds = 3;
    form.ui->mnuTrayExit->trigger();
    EXPECT_FALSE(form.isVisible());
    std::string ini = ReadFile(IniPath());
    EXPECT_TRUE(Contains(ini, Gb("Name0=小红")));
    EXPECT_TRUE(Contains(ini, "Name0ch=1"));
    EXPECT_TRUE(Contains(ini, "Second=3"));
}

TEST_F(Form1Test, FailedSaveKeepsTheWindowOpen) {
    // Root ignores permission bits, so block the file with a folder of its name.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniPath())));
    app::TForm1& form = Create();
    form.show();
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.Timer1->Enabled());
    ASSERT_EQ(Errors.Messages().size(), 1u);
    EXPECT_EQ(Errors.Messages()[0], "Unable to write to " + IniPath());

    // Once the obstacle is gone, the next close succeeds and saves.
    ASSERT_TRUE(QDir(QString::fromStdString(IniPath())).removeRecursively());
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(Contains(ReadFile(IniPath()), "Second=10"));
}

TEST_F(Form1Test, MouseHooksReachScrollAreaViewportsAndPlainWidgets) {
    app::TForm1& form = Create();
    std::vector<int> moves;
    int clicks = 0;
    form.WatchMouseMove(form.ui->ListBox1, [&](int x) { moves.push_back(x); });
    form.WatchClick(form.ui->Image1, [&] { ++clicks; });

    // A list box receives the mouse on its viewport, not on itself.
    QWidget* viewport = form.ui->ListBox1->viewport();
    EXPECT_TRUE(viewport->hasMouseTracking());
    QPointF at(17, 5);
    QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_EQ(moves, std::vector<int>{17});

    QMouseEvent right(QEvent::MouseButtonPress, at, form.ui->Image1->mapToGlobal(at),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(form.ui->Image1, &right);
    EXPECT_EQ(clicks, 0);  // the right button opens the banner menu instead
    QMouseEvent left(QEvent::MouseButtonPress, at, form.ui->Image1->mapToGlobal(at), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.ui->Image1, &left);
    EXPECT_EQ(clicks, 1);

    // A failing hover handler is reported, never thrown into Qt.
    form.WatchMouseMove(form.ui->ListBox1, [](int) { throw rtl::Exception("hint failed"); });
    QApplication::sendEvent(viewport, &move);
    ASSERT_EQ(Errors.Messages().size(), 1u);
    EXPECT_EQ(Errors.Messages()[0], "hint failed");
}

TEST_F(Form1Test, StatusBarReportsMovesOnlyWhileEnabled) {
    app::TForm1& form = Create();
    std::vector<int> moves;
    form.ui->StatusBar1->MouseMove = [&](int x) { moves.push_back(x); };
    auto moveTo = [&](int x) {
        QWidget* bar = form.ui->StatusBar1;
        QPointF at(x, 8);
        QMouseEvent move(QEvent::MouseMove, at, bar->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
    };
    moveTo(386);
    form.ui->StatusBar1->setEnabled(false);
    moveTo(10);
    EXPECT_EQ(moves, std::vector<int>{386});
}

TEST(TimerTest, TicksReachTheHandlerAndFailuresAreReported) {
    testsupport::ErrorRecorder errors;
    app::TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        throw rtl::Exception("tick failed");
    };
    timer.SetInterval(5);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return ticks >= 2; }));
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Enabled());
    ASSERT_FALSE(errors.Messages().empty());
    EXPECT_EQ(errors.Messages()[0], "tick failed");
}

TEST(TimerTest, DisabledTimerKeepsItsIntervalAndStartsWhenEnabled) {
    app::TTimer timer;
    timer.SetEnabled(false);
    timer.SetInterval(5);
    EXPECT_EQ(timer.Interval(), 5);
    EXPECT_FALSE(timer.Enabled());
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetEnabled(true);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ticks >= 1; }));
}

TEST(QtDesktopServicesTest, ShellTargetsBecomeTheRightUrls) {
    using app::QtDesktopServices;
    EXPECT_EQ(QtDesktopServices::ShellTargetUrl("mailto:feedback@perchly.example.org").scheme(),
              "mailto");
    EXPECT_EQ(QtDesktopServices::ShellTargetUrl("https://perchly.example.org/").toString(),
              "https://perchly.example.org/");
    // A bare file name is found in the current folder, not the program's.
    QUrl help = QtDesktopServices::ShellTargetUrl("Perchly.hlp");
    EXPECT_TRUE(help.isLocalFile());
    EXPECT_EQ(help.toLocalFile(), QDir::current().absoluteFilePath("Perchly.hlp"));
    QUrl spaced = QtDesktopServices::ShellTargetUrl("/tmp/my notes/Message.ini");
    EXPECT_TRUE(spaced.isLocalFile());
    EXPECT_EQ(spaced.toLocalFile(), "/tmp/my notes/Message.ini");
}

TEST(WavPlayerTest, MissingOrUndecodableFileIsReportedAsMissing) {
    testsupport::TempFolder folder;
    EXPECT_EQ(app::PlayWavSync(folder.File("none.wav")), app::WavResult::FileMissing);
    WriteFile(folder.File("junk.wav"), "this is not a sound");
    EXPECT_EQ(app::PlayWavSync(folder.File("junk.wav")), app::WavResult::FileMissing);
}

}  // namespace
