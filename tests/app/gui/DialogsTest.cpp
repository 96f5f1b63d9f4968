#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <string>
#include <vector>

#include "app/gui/About.h"
#include "app/gui/CaptionWidth.h"
#include "app/gui/DesktopServices.h"
#include "app/gui/DialogArt.h"
#include "app/gui/Product.h"
#include "app/gui/Unit2.h"
#include "app/gui/UpDown.h"
#include "rtl/GbText.h"

namespace {

using app::DesktopServices;

// Records shell opens; every other service is unused by the two dialogs.
class ShellRecorder : public DesktopServices {
public:
    struct Open {
        QWidget* Owner;
        std::string Target;
        ShowMode Mode;
    };
    std::vector<Open> Opens;

    Answer MessageBox(QWidget*, const std::string&, const std::string&, Buttons, Icon,
                      DefaultButton) override {
        ADD_FAILURE() << "no message box expected";
        return Answer::Ok;
    }
    void ShowMessage(const std::string&) override { ADD_FAILURE() << "no message expected"; }
    void ShowNotice(QWidget*, const std::string&) override {
        ADD_FAILURE() << "no notice expected";
    }
    int RunModal(QDialog& dialog) override { return dialog.exec(); }
    bool ShellOpen(QWidget* owner, const std::string& target, ShowMode mode) override {
        Opens.push_back({owner, target, mode});
        return true;
    }
    void PlaySoundSync(const std::string&) override {}
    QDate Today() override { return QDate(2000, 7, 15); }
};

struct IntervalDialog {
    app::WatchState State;
    std::vector<int> TimerIntervals;
    std::unique_ptr<app::TForm2> Form;

    explicit IntervalDialog(int seconds) {
        State.IntervalSeconds = seconds;
        Form = std::make_unique<app::TForm2>(nullptr, State,
                                             [this](int ms) { TimerIntervals.push_back(ms); });
    }
    QString Shown() const { return Form->findChild<QLineEdit*>("setedit")->text(); }
    app::TUpDown& UpDown() const { return *Form->findChild<app::TUpDown*>("UpDown1"); }
    void Down(int times) const {
        for (int i = 0; i < times; ++i)
            UpDown().DownButton()->click();
    }
    void Up(int times) const {
        for (int i = 0; i < times; ++i)
            UpDown().UpButton()->click();
    }
    QPushButton& Button(const char* name) const { return *Form->findChild<QPushButton*>(name); }
};

TEST(IntervalDialog, OpensWithTheCurrentIntervalAndStepsDownToSeven) {
    IntervalDialog dialog(10);
    EXPECT_EQ(dialog.Shown(), "10");
    EXPECT_EQ(dialog.UpDown().Position(), 10);
    dialog.Down(3);
    EXPECT_EQ(dialog.Shown(), "7");
    EXPECT_EQ(dialog.State.IntervalSeconds, 10) << "nothing is stored before OK";

    dialog.Button("setyes").click();
    EXPECT_EQ(dialog.State.IntervalSeconds, 7);
    EXPECT_EQ(dialog.TimerIntervals, std::vector<int>{7000});
    EXPECT_EQ(dialog.Form->result(), QDialog::Accepted);
}

TEST(IntervalDialog, ArrowsStopAtThreeAndSixtyWithoutWrapping) {
    IntervalDialog high(58);
    high.Up(5);
    EXPECT_EQ(high.Shown(), "60");
    high.Down(1);
    EXPECT_EQ(high.Shown(), "59");

    IntervalDialog low(5);
    low.Down(4);
    EXPECT_EQ(low.Shown(), "3");
    low.Button("setyes").click();
    EXPECT_EQ(low.State.IntervalSeconds, 3);
    EXPECT_EQ(low.TimerIntervals, std::vector<int>{3000});
}

TEST(IntervalDialog, CancelAndTheCloseButtonChangeNothing) {
    IntervalDialog cancelled(10);
    cancelled.Down(2);
    cancelled.Button("setno").click();
    EXPECT_EQ(cancelled.State.IntervalSeconds, 10);
    EXPECT_TRUE(cancelled.TimerIntervals.empty());
    EXPECT_EQ(cancelled.Form->result(), QDialog::Rejected);

    IntervalDialog closed(10);
    closed.Form->show();
    closed.Up(4);
    EXPECT_TRUE(closed.Form->close());
    EXPECT_EQ(closed.State.IntervalSeconds, 10);
    EXPECT_TRUE(closed.TimerIntervals.empty());
    EXPECT_EQ(closed.Form->result(), QDialog::Rejected);
}

TEST(IntervalDialog, KeysOnTheUpDownStepLikeItsArrows) {
    IntervalDialog dialog(10);
    QTest::keyClick(&dialog.UpDown(), Qt::Key_Up);
    QTest::keyClick(&dialog.UpDown(), Qt::Key_Up);
    EXPECT_EQ(dialog.Shown(), "12");
    QTest::keyClick(&dialog.UpDown(), Qt::Key_Down);
    EXPECT_EQ(dialog.Shown(), "11");
}

TEST(IntervalDialog, AnIntervalOutsideTheRangeNeverReachesTheTimer) {
    // Before any settings are loaded the record holds 0; confirming that must
    // not hand the timer a zero interval.
    IntervalDialog dialog(0);
    dialog.Button("setyes").click();
    EXPECT_EQ(dialog.State.IntervalSeconds, app::TForm2::MinSeconds);
    EXPECT_EQ(dialog.TimerIntervals, std::vector<int>{app::TForm2::MinSeconds * 1000});
}

TEST(IntervalDialog, LayoutMatchesTheFixedDialog) {
    IntervalDialog dialog(10);
    EXPECT_EQ(dialog.Form->size(), QSize(249, 119));
    EXPECT_EQ(dialog.Form->minimumSize(), dialog.Form->maximumSize());
    EXPECT_EQ(dialog.Form->windowTitle(), QStringLiteral("设置"));
    EXPECT_EQ(dialog.Button("setyes").text(), QStringLiteral(" 确定(&Y)"));
    EXPECT_EQ(dialog.Button("setno").text(), QStringLiteral(" 取消(&N)"));
    auto* edit = dialog.Form->findChild<QLineEdit*>("setedit");
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->width(), 20);

    // The edit field and the arrows sit inside the blank run of the sentence,
    // covering neither of its words.
    auto* sentence = dialog.Form->findChild<QLabel*>("StaticText1");
    ASSERT_EQ(sentence->text(), QStringLiteral("每个站点间隔       秒监控一次"));
    const QFontMetrics metrics(sentence->font());
    const int gapLeft = sentence->x() + metrics.horizontalAdvance(QStringLiteral("每个站点间隔"));
    const int gapRight =
        sentence->x() + metrics.horizontalAdvance(QStringLiteral("每个站点间隔       "));
    EXPECT_GE(edit->x(), gapLeft);
    EXPECT_GT(dialog.UpDown().x(), edit->geometry().right());
    EXPECT_LE(dialog.UpDown().geometry().right(), gapRight);
    EXPECT_LE(sentence->x() + metrics.horizontalAdvance(sentence->text()),
              sentence->parentWidget()->width());
}

TEST(UpDown, RangePositionAndWrap) {
    app::TUpDown upDown;
    std::vector<app::TUDBtnType> clicks;
    upDown.OnClick = [&](app::TUpDown& sender, app::TUDBtnType button) {
        EXPECT_EQ(&sender, &upDown);
        clicks.push_back(button);
    };
    upDown.SetRange(3, 60);
    upDown.SetPosition(99);
    EXPECT_EQ(upDown.Position(), 60) << "a position beyond the range is pulled in";
    upDown.SetPosition(-5);
    EXPECT_EQ(upDown.Position(), 3);

    upDown.SetWrap(true);
    upDown.DownButton()->click();
    EXPECT_EQ(upDown.Position(), 60);
    upDown.UpButton()->click();
    EXPECT_EQ(upDown.Position(), 3);
    EXPECT_EQ(clicks,
              (std::vector<app::TUDBtnType>{app::TUDBtnType::btPrev, app::TUDBtnType::btNext}));

    upDown.SetWrap(false);
    upDown.SetIncrement(50);
    upDown.UpButton()->click();
    EXPECT_EQ(upDown.Position(), 53);
    upDown.UpButton()->click();
    EXPECT_EQ(upDown.Position(), 60) << "a long step stops at the bound";
}

struct AboutFixture : testing::Test {
    ShellRecorder Desktop;
    app::TAboutBox Box{nullptr, Desktop};
    QLabel& Label(const char* name) { return *Box.findChild<QLabel*>(name); }
};

TEST_F(AboutFixture, LinksOpenThroughTheShellWithTheAboutBoxAsOwner) {
    Box.show();
    QTest::mouseClick(&Label("Label2"), Qt::LeftButton);
    QTest::mouseClick(&Label("Label1"), Qt::LeftButton);
    QTest::mouseClick(&Label("Label3"), Qt::LeftButton);
    QTest::mouseClick(&Label("Label1"), Qt::RightButton);
    ASSERT_EQ(Desktop.Opens.size(), 2u);
    EXPECT_EQ(Desktop.Opens[0].Target, app::HomePage);
    EXPECT_EQ(Desktop.Opens[0].Mode, DesktopServices::ShowMode::Normal);
    EXPECT_EQ(Desktop.Opens[0].Owner, &Box);
    EXPECT_EQ(Desktop.Opens[1].Target, app::FeedbackMailLink);
    EXPECT_EQ(Desktop.Opens[1].Mode, DesktopServices::ShowMode::Normal);
    EXPECT_EQ(Desktop.Opens[1].Owner, &Box);
}

TEST_F(AboutFixture, TitleSizeAndLinesReadAsPromptThenLink) {
    EXPECT_EQ(app::TAboutBox::AboutTitle(), "About Perchly v1.45(2000/07/15)");
    EXPECT_EQ(Box.size(), QSize(298, 178));
    EXPECT_EQ(Box.minimumSize(), Box.maximumSize());
    EXPECT_TRUE(Box.findChildren<QPushButton*>().isEmpty());
    EXPECT_EQ(Label("Label2").text(), QString::fromLatin1(app::HomePage));
    EXPECT_EQ(Label("Label1").text(), QStringLiteral("feedback@perchly.example.org"));
    EXPECT_EQ(Label("Label2").cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(Label("Label1").font().underline());

    const QWidget& panel = *Label("Label1").parentWidget();
    for (const auto& [prompt, link] : {std::pair{"Label3", "Label2"}, {"Label4", "Label1"}}) {
        QLabel& promptLabel = Label(prompt);
        QLabel& linkLabel = Label(link);
        EXPECT_EQ(linkLabel.y(), promptLabel.y()) << link;
        const int promptEnd =
            promptLabel.x() +
            QFontMetrics(promptLabel.font()).horizontalAdvance(promptLabel.text());
        EXPECT_GE(linkLabel.x(), promptEnd) << link;
        const int linkEnd =
            linkLabel.x() + QFontMetrics(linkLabel.font()).horizontalAdvance(linkLabel.text());
        EXPECT_LE(linkEnd, panel.width() - 2) << link << " is clipped by the panel frame";
    }
}

TEST_F(AboutFixture, GrowsUntilItsTitleBarShowsTheWholeCaptionAndShowsTheBird) {
    Box.setWindowTitle(rtl::FromGb(app::TAboutBox::AboutTitle()));
    const int wanted = app::CaptionWidth(Box.windowTitle(), Box);
    EXPECT_GT(wanted, app::TAboutBox::Width) << "the caption does not fit the old width";
    EXPECT_EQ(Box.size(), QSize(wanted, app::TAboutBox::Height));
    EXPECT_EQ(Box.minimumSize(), Box.maximumSize());
    const QWidget& panel = *Label("Label1").parentWidget();
    EXPECT_EQ(panel.geometry().right() + 1 + panel.x(), Box.width()) << "the panel grows along";
    // A short caption keeps the box at its size.
    Box.setWindowTitle("About");
    EXPECT_EQ(Box.size(), QSize(app::TAboutBox::Width, app::TAboutBox::Height));

    EXPECT_EQ(Label("ProgramIcon").pixmap().toImage(),
              app::DrawProgramPicture(Box.devicePixelRatioF()).toImage());
}

}  // namespace
