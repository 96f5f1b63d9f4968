#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <memory>

#include "app/gui/Translation.h"
#include "app/gui/TrayIcon.h"
#include "app/gui/Unit1.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class TrayIconTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteFile(Folder.File("perchly.ini"), "[Setting]\r\nAutoMin=0\r\n");
        Form = std::make_unique<app::TForm1>(State, Desktop, Folder.Path());
        Tray = std::make_unique<app::TTrayIcon>(*Form);
    }

    // The items the tray menu shows, as it opens.
    std::vector<QString> Items(bool enabledOnly = false) {
        emit Tray->Menu().aboutToShow();
        std::vector<QString> texts;
        for (QAction* item : Tray->Menu().actions())
            if (!item->isSeparator() && item->isVisible() && (item->isEnabled() || !enabledOnly))
                texts.push_back(item->text());
        return texts;
    }

    QAction* Item(const char* text) {
        for (QAction* item : Tray->Menu().actions())
            if (item->text() == Q(text))
                return item;
        return nullptr;
    }

    QImage Picture() { return Tray->Icon().icon().pixmap(32).toImage(); }

    testsupport::TempFolder Folder;
    testsupport::FakeDesktopServices Desktop;
    testsupport::ErrorRecorder Errors;
    app::WatchState State;
    std::unique_ptr<app::TForm1> Form;
    std::unique_ptr<app::TTrayIcon> Tray;
};

TEST_F(TrayIconTest, FollowsTheSwitchesInPictureAndTooltip) {
    EXPECT_EQ(Tray->Icon().toolTip(),
              Q("Perchly v1.45\n正在监控, 声音打开\n没有选中的站点和目标: 什么也没有监控"));
    EXPECT_EQ(Picture(), app::TTrayIcon::StateIcon(true, true).pixmap(32).toImage());

    // From the status bar, the banner menu or the tray: the icon follows.
    Form->StatusBar1MouseDown(10);
    Form->mnuTrayPauseClick();
    EXPECT_EQ(Tray->Icon().toolTip(),
              Q("Perchly v1.45\n暂停监控, 声音关闭\n没有选中的站点和目标: 什么也没有监控"));
    const QImage pausedMuted = Picture();
    EXPECT_EQ(pausedMuted, app::TTrayIcon::StateIcon(false, false).pixmap(32).toImage());
    EXPECT_NE(pausedMuted, app::TTrayIcon::StateIcon(false, true).pixmap(32).toImage());
    EXPECT_NE(pausedMuted, app::TTrayIcon::StateIcon(true, false).pixmap(32).toImage());

    // An alert box stops the timer for a while; monitoring still counts as running.
    Form->mnuTrayPauseClick();
    Form->Timer1->SetEnabled(false);
    Form->mnuTraySoundClick();
    EXPECT_EQ(Tray->Icon().toolTip(),
              Q("Perchly v1.45\n正在监控, 声音打开\n没有选中的站点和目标: 什么也没有监控"));
}

TEST_F(TrayIconTest, MenuOffersTheBannerItemsAndActsThroughTheirHandlers) {
    EXPECT_EQ(Items(), (std::vector<QString>{Q("显示主窗口(&S)"), Q("暂停监控(&Y)"),
                                             Q("关闭声音(&T)"), Q("退出程序(&X)")}));
    Item("暂停监控(&Y)")->trigger();
    Item("关闭声音(&T)")->trigger();
    EXPECT_FALSE(Form->Timer1->Enabled());
    EXPECT_FALSE(State.SoundOn);
    EXPECT_NE(testsupport::ReadFile(Folder.File("perchly.ini")).find("Sound=0"), std::string::npos);
    EXPECT_EQ(Items(), (std::vector<QString>{Q("显示主窗口(&S)"), Q("开始监控(&Y)"),
                                             Q("打开声音(&T)"), Q("退出程序(&X)")}));

    // A click on the icon or "show" brings a minimised window back.
    Form->show();
    Form->setWindowState(Qt::WindowMinimized);
    emit Tray->Icon().activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(Form->isMinimized());

    // While a box waits for an answer only "show" works, as in the window itself.
    QMessageBox box(Form.get());
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    ASSERT_TRUE(
        testsupport::PumpUntil([] { return QApplication::activeModalWidget() != nullptr; }));
    EXPECT_EQ(Items(true), std::vector<QString>{Q("显示主窗口(&S)")});
    box.hide();
    EXPECT_EQ(Items(true).size(), 4u);
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST(QtChinese, StandardButtonsReadChinese) {
    ASSERT_TRUE(app::LoadQtChinese(*QCoreApplication::instance()));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(Q("是")));
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(Q("否")));
    EXPECT_TRUE(box.button(QMessageBox::Ok)->text().startsWith(Q("确定")));
}

}  // namespace
