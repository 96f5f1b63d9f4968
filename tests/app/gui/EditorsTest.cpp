#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "app/gui/EditorField.h"
#include "app/gui/StatusBar.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit1Ui.h"
#include "app/watch/Settings.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace {

using app::DesktopServices;
using rtl::Gb;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class EditorsTest : public testing::Test {
protected:
    // Sites "A", "B", "C" (URLs http://a/ ...) with the given flags, and the
    // targets "x", "y"; monitoring starts running unless told otherwise.
    app::TForm1& Create(const std::string& siteFlags = "000", bool running = true,
                        bool autoMin = false) {
        std::string ini = "[Setting]\r\nAutoUp=" + std::string(running ? "1" : "0") +
                          "\r\nAutoMin=" + (autoMin ? "1" : "0") + "\r\n[TargetSite]\r\n";
        for (size_t i = 0; i < siteFlags.size(); ++i) {
            const std::string n = std::to_string(i);
            const char letter = static_cast<char>('A' + i);
            ini += "Site" + n + "=" + letter + "\r\nSite" + n + "Url=http://" +
                   static_cast<char>('a' + i) + "/\r\nSite" + n + "ch=" + siteFlags[i] + "\r\n";
        }
        ini += "[TargetObj]\r\nName0=x\r\nName0ch=1\r\nName1=y\r\nName1ch=0\r\n";
        return CreateWith(ini);
    }
    app::TForm1& CreateWith(const std::string& ini) {
        testsupport::WriteFile(app::SettingsFileName(Folder.Path()), ini);
        Form = std::make_unique<app::TForm1>(State, Desktop, Folder.Path());
        Form->show();
        return *Form;
    }

    Ui::TForm1& Ui() { return *Form->ui; }
    void Type(QComboBox* box, const char* text) { box->setEditText(Q(text)); }
    void Choose(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    // A user's Ctrl+click on a row: a real selection change.
    void CtrlClickRow(QListWidget* list, int row) {
        QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    }

    testsupport::TempFolder Folder;
    testsupport::FakeDesktopServices Desktop;
    testsupport::ErrorRecorder Errors;
    app::WatchState State;
    std::unique_ptr<app::TForm1> Form;
};

TEST_F(EditorsTest, SiteEditorOpensOnTheFirstSiteAndShowsTheChosenSitesUrl) {
    Create();
    Ui().Button1->click();
    EXPECT_FALSE(Ui().ListBox1->isVisible());
    EXPECT_FALSE(Ui().Button1->isVisible());
    EXPECT_FALSE(Ui().Button2->isVisible());
    for (QWidget* w : {static_cast<QWidget*>(Ui().ComboBox1), static_cast<QWidget*>(Ui().Edit1),
                       static_cast<QWidget*>(Ui().Button5), static_cast<QWidget*>(Ui().Button6),
                       static_cast<QWidget*>(Ui().Button7)}) {
        EXPECT_TRUE(w->isVisible() && w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_EQ(Ui().ComboBox1->geometry().topLeft() + Ui().GroupBox1->pos(), QPoint(24, 40));
    EXPECT_EQ(Ui().Button7->geometry().topLeft() + Ui().GroupBox1->pos(), QPoint(148, 120));
    EXPECT_EQ(Ui().ComboBox1->count(), 3);
    EXPECT_EQ(Ui().ComboBox1->currentText(), "A");
    EXPECT_EQ(Ui().Edit1->text(), "http://a/");
    EXPECT_EQ(Form->StatusText(1), Gb("站点如果采用了Frame(框架),请参照帮助中的说明进行设置!"));

    Choose(Ui().ComboBox1, 2);
    EXPECT_EQ(Ui().Edit1->text(), "http://c/");
    EXPECT_FALSE(Ui().ListBox2->isHidden()) << "the target group stays as it was";

    Ui().Button7->click();
    EXPECT_NE(Form->StatusText(1), Gb("站点如果采用了Frame(框架),请参照帮助中的说明进行设置!"))
        << "the editor's hint goes with the editor";
}

TEST_F(EditorsTest, AddingASiteUpdatesByNameRefusesATakenUrlAndResetsTheFields) {
    Create("010");
    Ui().Button1->click();

    Type(Ui().ComboBox1, "D");
    Ui().Edit1->setText("http://b/");
    Ui().Button5->click();
    ASSERT_EQ(Desktop.Messages.size(), 1u);
    EXPECT_EQ(Desktop.Messages[0], Gb("http://b/ 已经存在."));
    EXPECT_EQ(Ui().ComboBox1->count(), 3) << "nothing is added";
    EXPECT_EQ(Ui().ComboBox1->currentText(), Q("在这里输入站点名称"));
    EXPECT_EQ(Ui().Edit1->text(), Q("在这里输入站点网址"));

    Type(Ui().ComboBox1, "A");
    Ui().Edit1->setText("http://v/");
    Ui().Button5->click();
    EXPECT_EQ(State.Sites[0].Url, "http://v/");
    EXPECT_EQ(Ui().ComboBox1->count(), 3);
    EXPECT_EQ(Desktop.Messages.size(), 1u);

    // A name matching an earlier slot wins over a URL matching a later one.
    Type(Ui().ComboBox1, "A");
    Ui().Edit1->setText("http://c/");
    Ui().Button5->click();
    EXPECT_EQ(State.Sites[0].Url, "http://c/");

    Type(Ui().ComboBox1, "D");
    Ui().Edit1->setText("http://d/\r\n");
    Ui().Button5->click();
    ASSERT_EQ(Ui().ComboBox1->count(), 4);
    EXPECT_EQ(Ui().ComboBox1->itemText(3), "D");
    EXPECT_EQ(State.Sites[3].Name, "D");
    EXPECT_EQ(State.Sites[3].Url, "http://d/") << "line ends could never be saved";
    EXPECT_EQ(State.Sites[3].Selected, 0);

    // Placeholders and empty fields add nothing and show nothing.
    Ui().Button5->click();
    Ui().Edit1->setText("http://e/");
    Ui().Button5->click();
    Type(Ui().ComboBox1, "");
    Ui().Edit1->setText("http://e/");
    Ui().Button5->click();
    EXPECT_EQ(Ui().ComboBox1->count(), 4);
    EXPECT_EQ(Desktop.Messages.size(), 1u);

    // Names are compared exactly: "a" is not "A".
    Type(Ui().ComboBox1, "a");
    Ui().Edit1->setText("http://f/");
    Ui().Button5->click();
    EXPECT_EQ(Ui().ComboBox1->count(), 5);
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(EditorsTest, AFullSiteListRefusesAddsKeepsTheFieldsAndStillConfirms) {
    std::string ini = "[Setting]\r\nAutoUp=0\r\n[TargetSite]\r\n";
    for (int i = 0; i < 100; ++i) {
        const std::string n = std::to_string(i);
        ini += "Site" + n + "=s" + n + "\r\nSite" + n + "Url=http://h" + n + "/\r\n";
    }
    CreateWith(ini);
    Ui().Button1->click();
    ASSERT_EQ(Ui().ComboBox1->count(), 100);
    Type(Ui().ComboBox1, "new");
    Ui().Edit1->setText("http://new/");
    Ui().Button5->click();
    ASSERT_EQ(Desktop.Messages.size(), 1u);
    EXPECT_EQ(Desktop.Messages[0], Gb("不能设定大于100个站点"));
    EXPECT_EQ(Ui().ComboBox1->currentText(), "new") << "the fields keep their text";
    EXPECT_EQ(Ui().Edit1->text(), "http://new/");

    Ui().Button7->click();
    EXPECT_EQ(Desktop.Messages.size(), 2u);
    EXPECT_EQ(Desktop.Messages[1], Gb("不能设定大于100个站点"));
    EXPECT_TRUE(Ui().ListBox1->isVisible()) << "the editor closes anyway";
    EXPECT_EQ(Ui().ListBox1->count(), 100);
}

TEST_F(EditorsTest, DeletingASiteMovesTheLaterSlotsUpWithTheirFlags) {
    Create("001");
    Ui().Button1->click();
    Choose(Ui().ComboBox1, 1);
    Desktop.Answers = {DesktopServices::Answer::Yes};
    Ui().Button6->click();

    ASSERT_EQ(Desktop.MessageBoxes.size(), 1u);
    const auto& question = Desktop.MessageBoxes[0];
    EXPECT_EQ(question.Text, Gb("你真的确定删除B?"));
    EXPECT_EQ(question.Caption, Gb("确认"));
    EXPECT_EQ(question.ButtonSet, DesktopServices::Buttons::YesNo);
    EXPECT_EQ(question.Default, DesktopServices::DefaultButton::No);
    EXPECT_EQ(question.Owner, Form.get());

    EXPECT_EQ(State.Sites[0].Name, "A");
    EXPECT_EQ(State.Sites[1].Name, "C");
    EXPECT_EQ(State.Sites[1].Url, "http://c/");
    EXPECT_EQ(State.Sites[1].Selected, 1) << "C keeps its flag";
    EXPECT_TRUE(State.Sites[2].Name.empty());
    EXPECT_TRUE(State.Sites[2].Url.empty());
    EXPECT_EQ(State.Sites[2].Selected, 0);
    EXPECT_EQ(Ui().ComboBox1->currentIndex(), 1);
    EXPECT_EQ(Ui().ComboBox1->currentText(), "C");
    EXPECT_EQ(Ui().Edit1->text(), "http://c/");

    // Deleting the last item selects the one before it.
    Desktop.Answers = {DesktopServices::Answer::Yes};
    Ui().Button6->click();
    EXPECT_EQ(Ui().ComboBox1->count(), 1);
    EXPECT_EQ(Ui().ComboBox1->currentText(), "A");
    EXPECT_EQ(Ui().Edit1->text(), "http://a/");
    EXPECT_TRUE(State.Sites[1].Name.empty());
    EXPECT_EQ(State.Sites[1].Selected, 0);

    // The only site is never deleted.
    Ui().Button6->click();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 3u);
    EXPECT_EQ(Desktop.MessageBoxes[2].Caption, Gb("不能删除!"));
    EXPECT_EQ(Desktop.MessageBoxes[2].Text,
              Gb("至少要有一个站点存在,所以不能删除!如果想删除此站\r点,"
                 "请添加一个正确的站点后再删除此站点。"));
    EXPECT_EQ(State.Sites[0].Name, "A");
    EXPECT_EQ(Ui().ComboBox1->count(), 1);
}

TEST_F(EditorsTest, ASiteDeleteNeedsAChosenItemAndAYes) {
    Create();
    Ui().Button1->click();
    Desktop.Answers = {DesktopServices::Answer::No};
    Ui().Button6->click();
    EXPECT_EQ(Ui().ComboBox1->count(), 3) << "No deletes nothing";
    EXPECT_EQ(State.Sites[0].Name, "A");

    // After an add the fields hold the placeholders and no item is chosen.
    Ui().Button5->click();
    Ui().Button6->click();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 2u);
    EXPECT_EQ(Desktop.MessageBoxes[1].Caption, Gb("选择"));
    EXPECT_EQ(Desktop.MessageBoxes[1].Text, Gb("没有选中要删除的站点。"));
    EXPECT_EQ(Ui().ComboBox1->count(), 3);
}

TEST_F(EditorsTest, TargetEditorAddsNewNamesSilentlySkipsTakenOnesAndDeletes) {
    Create();
    const std::string status = Form->StatusText(1);
    Ui().Button3->click();
    EXPECT_FALSE(Ui().ListBox2->isVisible());
    EXPECT_TRUE(Ui().ComboBox2->isVisible() && Ui().ComboBox2->isEnabled());
    EXPECT_EQ(Ui().ComboBox2->currentText(), "x");
    EXPECT_EQ(Form->StatusText(1), status) << "only the site editor writes a hint";

    Type(Ui().ComboBox2, "y");
    Ui().Button8->click();
    EXPECT_EQ(Ui().ComboBox2->count(), 2);
    EXPECT_TRUE(Desktop.Messages.empty());
    EXPECT_EQ(Ui().ComboBox2->currentText(), Q("在这里输入昵称"));

    Type(Ui().ComboBox2, "阿明");
    Ui().Button8->click();
    ASSERT_EQ(Ui().ComboBox2->count(), 3);
    EXPECT_EQ(State.Targets[2].Name, Gb("阿明"));
    EXPECT_EQ(State.Targets[2].Selected, 0);

    // Deleting x moves y and 阿明 up, flags with them.
    Choose(Ui().ComboBox2, 0);
    Desktop.Answers = {DesktopServices::Answer::Yes};
    Ui().Button9->click();
    EXPECT_EQ(Desktop.MessageBoxes.back().Text, Gb("你真的确定删除x?"));
    EXPECT_EQ(State.Targets[0].Name, "y");
    EXPECT_EQ(State.Targets[0].Selected, 0);
    EXPECT_EQ(State.Targets[1].Name, Gb("阿明"));
    EXPECT_TRUE(State.Targets[2].Name.empty());
    EXPECT_EQ(Ui().ComboBox2->currentIndex(), 0);

    Type(Ui().ComboBox2, "z");
    Ui().Button10->click();
    EXPECT_TRUE(Ui().ListBox2->isVisible());
    EXPECT_FALSE(Ui().ComboBox2->isVisible() || Ui().ComboBox2->isEnabled());
    ASSERT_EQ(Ui().ListBox2->count(), 3) << "confirm adds the pending name";
    EXPECT_EQ(Ui().ListBox2->item(2)->text(), "z");
}

TEST_F(EditorsTest, TheOnlyTargetIsKeptAndAFullTargetListRefuses) {
    std::string ini = "[Setting]\r\nAutoUp=0\r\n[TargetObj]\r\nName0=solo\r\n";
    CreateWith(ini);
    Ui().Button3->click();
    Ui().Button9->click();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 1u);
    EXPECT_EQ(Desktop.MessageBoxes[0].Caption, Gb("不能删除!"));
    EXPECT_EQ(Desktop.MessageBoxes[0].Text,
              Gb("至少要有一个目标存在,所以不能删除!如果想删除此目\r标,"
                 "请添加一个正确的目标后再删除此目标。"));
    for (int i = 1; i < 100; ++i) {
        Type(Ui().ComboBox2, ("t" + std::to_string(i)).c_str());
        Ui().Button8->click();
    }
    ASSERT_EQ(Ui().ComboBox2->count(), 100);
    EXPECT_TRUE(Desktop.Messages.empty());
    Type(Ui().ComboBox2, "one-too-many");
    Ui().Button8->click();
    ASSERT_EQ(Desktop.Messages.size(), 1u);
    EXPECT_EQ(Desktop.Messages[0], Gb("不能设定大于100个目标"));
    EXPECT_EQ(Ui().ComboBox2->currentText(), "one-too-many");
}

TEST_F(EditorsTest, ConfirmRebuildsTheRowsWithTheirFlagsAndCloseSavesTheEdit) {
    Create("101");
    Ui().Button1->click();
    Type(Ui().ComboBox1, "D");
    Ui().Edit1->setText("http://d/");
    Ui().Button7->click();
    ASSERT_EQ(Ui().ListBox1->count(), 4);
    EXPECT_TRUE(Ui().ListBox1->item(0)->isSelected());
    EXPECT_FALSE(Ui().ListBox1->item(1)->isSelected());
    EXPECT_TRUE(Ui().ListBox1->item(2)->isSelected());
    EXPECT_FALSE(Ui().ListBox1->item(3)->isSelected());
    EXPECT_TRUE(Ui().ListBox1->toolTip().isEmpty()) << "a rebuild is not a click";
    EXPECT_FALSE(Ui().ComboBox1->isVisible() || Ui().Button7->isEnabled());
    EXPECT_TRUE(Ui().Button1->isVisible() && Ui().Button2->isVisible());

    // Closing while the target editor is open saves what it holds.
    Ui().Button3->click();
    Type(Ui().ComboBox2, "w");
    Ui().Button8->click();
    EXPECT_TRUE(Form->close());
    const std::string saved = testsupport::ReadFile(app::SettingsFileName(Folder.Path()));
    EXPECT_NE(saved.find("Site3=D"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Site3Url=http://d/"), std::string::npos);
    EXPECT_NE(saved.find("Name2=w"), std::string::npos);
}

TEST_F(EditorsTest, AnEditorPausesMonitoringAndItsConfirmResumesIt) {
    Create("000", /*running=*/true, /*autoMin=*/true);
    ASSERT_TRUE(Form->Timer1->Enabled());
    Ui().Button1->click();
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->StatusText(2), Gb("暂停监控"));
    EXPECT_FALSE(Ui().StatusBar1->isEnabled());
    EXPECT_FALSE(Ui().mnuTrayPause->isEnabled());
    EXPECT_FALSE(Ui().mnuTrayClean->isEnabled());

    Ui().Button7->click();
    EXPECT_TRUE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->StatusText(2), Gb("正在监控"));
    EXPECT_TRUE(Ui().StatusBar1->isEnabled());
    EXPECT_TRUE(Ui().mnuTrayPause->isEnabled());
    EXPECT_TRUE(Ui().mnuTrayClean->isEnabled());
    EXPECT_TRUE(Form->windowState() & Qt::WindowMinimized) << "auto-minimise on resume";
}

TEST_F(EditorsTest, AnEditorOpenedWhilePausedLeavesMonitoringPaused) {
    Create("000", /*running=*/false);
    Ui().Button3->click();
    Ui().Button10->click();
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->StatusText(2), Gb("暂停监控"));
    EXPECT_TRUE(Ui().StatusBar1->isEnabled());
}

TEST_F(EditorsTest, MonitoringResumesOnlyWhenTheLastOfTwoEditorsCloses) {
    Create();
    Ui().Button1->click();
    Ui().Button3->click();
    Ui().Button7->click();
    EXPECT_FALSE(Form->Timer1->Enabled()) << "the target editor is still open";
    EXPECT_FALSE(Ui().StatusBar1->isEnabled());
    EXPECT_FALSE(Ui().mnuTrayPause->isEnabled());
    Ui().Button10->click();
    EXPECT_TRUE(Form->Timer1->Enabled());
    EXPECT_EQ(Form->StatusText(2), Gb("正在监控"));

    // Closed in the other order, the same.
    Ui().Button3->click();
    Ui().Button1->click();
    Ui().Button10->click();
    EXPECT_FALSE(Form->Timer1->Enabled());
    Ui().Button7->click();
    EXPECT_TRUE(Form->Timer1->Enabled());
}

TEST_F(EditorsTest, ADialogShownDuringEditingDoesNotChangeWhatTheConfirmRestores) {
    Create("000", /*running=*/false);
    Ui().Button1->click();
    bool timerDuringDialog = true;
    Desktop.OnRunModal = [&](QDialog&) {
        timerDuringDialog = Form->Timer1->Enabled();
        return static_cast<int>(QDialog::Rejected);
    };
    Ui().mnuTrayTime->trigger();
    Ui().mnuTrayAbout->trigger();
    EXPECT_FALSE(timerDuringDialog);
    EXPECT_FALSE(Form->Timer1->Enabled()) << "the editor still holds monitoring paused";
    Ui().Button7->click();
    EXPECT_FALSE(Form->Timer1->Enabled()) << "it was paused when the editor opened";
}

TEST_F(EditorsTest, BothListsContextCommandsAndBannerPauseAreBlockedWhileEditing) {
    Create("000");
    Ui().Button1->click();
    EXPECT_FALSE(Form->A1->isEnabled());
    EXPECT_FALSE(Form->C1->isEnabled());
    emit Form->PopupMenu1->aboutToShow();
    EXPECT_FALSE(Form->N2->isEnabled());
    EXPECT_FALSE(Form->N3->isEnabled());
    Form->A1Click();
    for (const app::SiteSlot& slot : State.Sites)
        EXPECT_EQ(slot.Selected, 0);
    EXPECT_EQ(State.Targets[0].Selected, 1) << "flags are not written by out-of-date rows";
    Form->N2->trigger();
    EXPECT_FALSE(Form->Timer1->Enabled());

    Ui().Button7->click();
    EXPECT_TRUE(Form->A1->isEnabled() && Form->C1->isEnabled());
    emit Form->PopupMenu1->aboutToShow();
    EXPECT_TRUE(Form->N3->isEnabled());
}

TEST_F(EditorsTest, AUsersSelectionBecomesTheFlagsAndTheSiteTooltip) {
    Create("000");
    EXPECT_TRUE(Ui().ListBox1->toolTip().isEmpty()) << "no tooltip before the first click";
    CtrlClickRow(Ui().ListBox1, 0);
    CtrlClickRow(Ui().ListBox1, 2);
    EXPECT_EQ(State.Sites[0].Selected, 1);
    EXPECT_EQ(State.Sites[1].Selected, 0);
    EXPECT_EQ(State.Sites[2].Selected, 1);
    EXPECT_EQ(Ui().ListBox1->toolTip(), Q("☆http://a/☆http://c/☆"));

    CtrlClickRow(Ui().ListBox2, 1);
    EXPECT_EQ(State.Targets[0].Selected, 1);
    EXPECT_EQ(State.Targets[1].Selected, 1);
    EXPECT_TRUE(Ui().ListBox2->toolTip().isEmpty());
}

TEST_F(EditorsTest, SelectAllAndClearAllWriteEveryFlag) {
    Create("010");
    Ui().Button2->click();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(State.Sites[i].Selected, 1);
    EXPECT_EQ(State.Targets[1].Selected, 0) << "the site button leaves the targets";
    EXPECT_EQ(Ui().ListBox1->toolTip(), Q("☆http://a/☆http://b/☆http://c/☆"));

    Ui().Button4->click();
    EXPECT_EQ(State.Targets[1].Selected, 1);

    Ui().mnuTrayClean->trigger();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(State.Sites[i].Selected, 0);
    EXPECT_EQ(State.Targets[0].Selected, 0);
    EXPECT_EQ(State.Targets[1].Selected, 0);
    EXPECT_EQ(Ui().ListBox1->toolTip(), Q("☆"));
    EXPECT_TRUE(Ui().ListBox1->selectedItems().isEmpty());

    Form->A1->trigger();
    EXPECT_EQ(State.Sites[2].Selected, 1);
    EXPECT_EQ(State.Targets[1].Selected, 1);
    Form->C1->trigger();
    EXPECT_EQ(State.Sites[2].Selected, 0);
    EXPECT_EQ(State.Targets[1].Selected, 0);
}

// What the user meets at the keyboard: the window must be active for the
// focus to be anywhere.
class EditorKeysTest : public EditorsTest {
protected:
    app::TForm1& CreateActive() {
        Create();
        Form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        return *Form;
    }
    static void Settle() { QApplication::processEvents(); }
    static void Paste(QWidget* field, const QString& text) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    }
};

TEST_F(EditorKeysTest, AnEditorOpensWithTheKeysInItsNameField) {
    CreateActive();
    Ui().Button1->click();
    Settle();
    EXPECT_TRUE(Ui().ComboBox1->hasFocus());
    // What is typed right away replaces the first site's name shown there.
    Paste(QApplication::focusWidget(), Q("大厅"));
    EXPECT_EQ(Ui().ComboBox1->currentText(), Q("大厅"));
    EXPECT_EQ(Ui().Edit1->text(), "http://a/");

    Ui().Button3->click();
    Settle();
    EXPECT_TRUE(Ui().ComboBox2->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "w");
    EXPECT_EQ(Ui().ComboBox2->currentText(), "w");
}

TEST_F(EditorKeysTest, AHintIsSelectedWholeAndNeverMixesWithWhatIsTypedOrPasted) {
    CreateActive();
    Ui().Button1->click();
    Ui().Button5->click();  // nothing new: the fields show their hints
    const QString nameHint = Q(app::TForm1::SiteNamePlaceholder);
    const QString urlHint = Q(app::TForm1::SiteUrlPlaceholder);
    QLineEdit* name = Ui().ComboBox1->lineEdit();
    ASSERT_EQ(name->text(), nameHint);

    // A click gives the focus and places the cursor; the hint is selected after.
    QTest::mouseClick(Ui().Edit1, Qt::LeftButton, Qt::NoModifier, QPoint(30, 8));
    Settle();
    EXPECT_TRUE(Ui().Edit1->hasFocus());
    EXPECT_EQ(Ui().Edit1->selectedText(), urlHint);
    QTest::keyClicks(Ui().Edit1, "http://x/");
    EXPECT_EQ(Ui().Edit1->text(), "http://x/");

    // Typed at a cursor placed inside the hint, or pasted there: the hint goes.
    QTest::mouseClick(name, Qt::LeftButton, Qt::NoModifier, QPoint(30, 8));
    Settle();
    EXPECT_EQ(name->selectedText(), nameHint);
    name->setCursorPosition(5);
    QTest::keyClicks(Ui().ComboBox1, "abc");
    EXPECT_EQ(name->text(), "abc");
    Ui().ComboBox1->setEditText(nameHint);
    name->setCursorPosition(3);
    Paste(Ui().ComboBox1, Q("小厅"));
    EXPECT_EQ(name->text(), Q("小厅"));

    // Pasted over the selected hint, even a piece of the hint itself stays.
    Ui().ComboBox1->setEditText(nameHint);
    Settle();
    ASSERT_EQ(name->selectedText(), nameHint) << "given the hint while it has the focus";
    Paste(Ui().ComboBox1, Q("在这里"));
    EXPECT_EQ(name->text(), Q("在这里"));
    // An edited name is the user's own: a key typed into it stays put.
    name->setCursorPosition(1);
    QTest::keyClicks(Ui().ComboBox1, "x");
    EXPECT_EQ(name->text(), Q("在x这里"));
}

TEST_F(EditorKeysTest, ReturnInANameOrAddressFieldDoesWhatAddDoes) {
    CreateActive();
    Ui().Button1->click();
    Ui().ComboBox1->setEditText("D");
    Ui().Edit1->setText("http://d/");
    QTest::keyClick(Ui().Edit1, Qt::Key_Return);
    ASSERT_EQ(Ui().ComboBox1->count(), 4);
    EXPECT_EQ(State.Sites[3].Url, "http://d/");
    EXPECT_EQ(Ui().Edit1->text(), Q(app::TForm1::SiteUrlPlaceholder));

    // Return in the name of a site that exists updates its address with the
    // one typed, which the box's own Return would have replaced by the old one.
    Ui().ComboBox1->setEditText("A");
    Ui().Edit1->setText("http://new-a/");
    QTest::keyClick(Ui().ComboBox1, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(State.Sites[0].Url, "http://new-a/");
    EXPECT_EQ(Ui().ComboBox1->count(), 4);

    Ui().Button3->click();
    Ui().ComboBox2->setEditText(Q("阿明"));
    QTest::keyClick(Ui().ComboBox2, Qt::Key_Return);
    ASSERT_EQ(Ui().ComboBox2->count(), 3);
    EXPECT_EQ(State.Targets[2].Name, Gb("阿明"));
    EXPECT_TRUE(Ui().ComboBox2->isVisible()) << "Return adds; only 确定 closes";
    // With a modifier it is no add.
    Ui().ComboBox2->setEditText("z");
    QTest::keyClick(Ui().ComboBox2, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(Ui().ComboBox2->count(), 3);
}

TEST_F(EditorsTest, EachFieldSaysWhatItIsForWithoutTyping) {
    Create();
    const std::pair<QWidget*, QLineEdit*> fields[] = {{Ui().ComboBox1, Ui().ComboBox1->lineEdit()},
                                                      {Ui().Edit1, Ui().Edit1},
                                                      {Ui().ComboBox2, Ui().ComboBox2->lineEdit()}};
    const char* purposes[] = {"站点名称", "站点网址", "昵称"};
    for (size_t i = 0; i < std::size(fields); ++i) {
        EXPECT_EQ(fields[i].first->accessibleName(), Q(purposes[i])) << purposes[i];
        EXPECT_EQ(fields[i].second->placeholderText(), Q(purposes[i])) << purposes[i];
    }
}

struct HintEdit {
    const char* Hint;
    const char* Edited;
    const char* Left;
};

void PrintTo(const HintEdit& edit, std::ostream* out) {
    *out << edit.Hint << " -> " << edit.Edited;
}

class HintEdits : public testing::TestWithParam<HintEdit> {};

TEST_P(HintEdits, OnlyWhatCameIntoTheHintIsLeft) {
    EXPECT_EQ(app::InsertedIntoHint(Q(GetParam().Hint), Q(GetParam().Edited)), Q(GetParam().Left));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, HintEdits,
    testing::Values(HintEdit{"在这里输入站点名称", "在这里输入站abc点名称", "abc"},
                    HintEdit{"abc", "Xabc", "X"}, HintEdit{"abc", "abcX", "X"},
                    HintEdit{"abc", "aXYc", "XY"},  // a part of the hint replaced
                    HintEdit{"abc", "ac", ""}, HintEdit{"abc", "ab", ""},
                    // Letters that repeat the hint's own are still what came in.
                    HintEdit{"aa", "aaa", "a"}, HintEdit{"ab", "abab", "ab"}));

}  // namespace
