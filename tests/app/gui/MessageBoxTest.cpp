#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <memory>
#include <string>

#include "app/art/BirdArt.h"
#include "app/gui/CaptionWidth.h"
#include "app/gui/DialogArt.h"
#include "app/gui/ImageList.h"
#include "app/gui/MessageBoxWindow.h"
#include "app/gui/QtDesktopServices.h"
#include "rtl/GbText.h"
#include "tests/support/TestSupport.h"

namespace {

using app::DesktopServices;
using app::QtDesktopServices;
using app::TMessageBox;

const char* const AlertCaption = "目标出现 => 小燕子  取消对小燕子的监控?";
const char* const AlertText = "小燕子 上线了! 快去打个招呼吧.";

// Shows a box the way exec would, without its modal loop. Qt sizes a
// message box again at each layout request, which comes after the show.
void Show(TMessageBox& box) {
    box.show();
    QApplication::processEvents();
    QEvent layout(QEvent::LayoutRequest);
    QApplication::sendEvent(&box, &layout);
}

int AvailableWidth(const QWidget& window) {
    return window.screen()->availableGeometry().width();
}

TEST(AlertBox, DefaultsToNoAndDeclinesTheKeyboardUntilItIsClicked) {
    std::unique_ptr<TMessageBox> box =
        QtDesktopServices::BuildAlertBox(nullptr, rtl::Gb(AlertText), rtl::Gb(AlertCaption));
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8(AlertCaption)) << "the caption as composed";
    EXPECT_EQ(box->text(), QString::fromUtf8(AlertText));
    ASSERT_NE(box->button(QMessageBox::No), nullptr);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(box->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));

    Show(*box);
    ASSERT_NE(box->windowHandle(), nullptr);
    EXPECT_TRUE(box->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    // A click anywhere in it hands it the keyboard, for good.
    QTest::mousePress(box->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(box->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(box->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_FALSE(box->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(box->isVisible()) << "the click was no answer";
}

TEST(AlertBox, LetsTheWindowManagerHandItTheFocusOnceItHasSettled) {
    std::unique_ptr<TMessageBox> box =
        QtDesktopServices::BuildAlertBox(nullptr, rtl::Gb(AlertText), rtl::Gb(AlertCaption));
    Show(*box);
    ASSERT_TRUE(box->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(testsupport::PumpUntil([&] {
        return !box->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus);
    })) << "a box that never accepts the focus could not be used from the keyboard";
}

TEST(MessageBoxes, QuestionsTheUserAskedForTakeTheKeyboardAsUsual) {
    std::unique_ptr<TMessageBox> question = QtDesktopServices::BuildMessageBox(
        nullptr, rtl::Gb("你真的确定删除B?"), rtl::Gb("确认"), DesktopServices::Buttons::YesNo,
        DesktopServices::Icon::Information, DesktopServices::DefaultButton::No);
    EXPECT_FALSE(question->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_FALSE(question->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(question->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::No));

    std::unique_ptr<TMessageBox> notice = QtDesktopServices::BuildMessageBox(
        nullptr, rtl::Gb("没有选中要删除的站点。"), rtl::Gb("选择"), DesktopServices::Buttons::Ok,
        DesktopServices::Icon::Information, DesktopServices::DefaultButton::First);
    EXPECT_EQ(notice->defaultButton(), notice->button(QMessageBox::Ok));
    EXPECT_EQ(notice->button(QMessageBox::Yes), nullptr);
}

// The caption must fit the title bar; the offscreen screen is 800 x 600, the
// small screen the box has to cope with.
struct CaptionCase {
    const char* Name;
    std::string Caption;
};

void PrintTo(const CaptionCase& c, std::ostream* out) {
    *out << c.Name;
}

class CaptionFits : public testing::TestWithParam<CaptionCase> {};

TEST_P(CaptionFits, TheBoxIsWideEnoughForItsTitleBarButNeverWiderThanTheScreen) {
    const std::string& caption = GetParam().Caption;
    std::unique_ptr<TMessageBox> box =
        QtDesktopServices::BuildAlertBox(nullptr, rtl::Gb(AlertText), caption);
    Show(*box);
    const int wanted = app::CaptionWidth(box->windowTitle(), *box);
    EXPECT_GE(box->width(), wanted);
    EXPECT_LE(box->width(), AvailableWidth(*box));
    EXPECT_LE(wanted, AvailableWidth(*box));
    // Room for the caption itself, in the title font and bold.
    QFont bold = box->font();
    bold.setBold(true);
    const int captionText = QFontMetrics(bold).horizontalAdvance(box->windowTitle());
    if (captionText < AvailableWidth(*box))
        EXPECT_GT(wanted, captionText) << "room for the title bar's buttons too";
    else
        EXPECT_EQ(box->width(), AvailableWidth(*box)) << "a caption too long for the screen";
}

std::string LongName(int repeats) {
    std::string name;
    for (int i = 0; i < repeats; ++i)
        name += "燕";
    return name;
}

std::string AlertCaptionFor(const std::string& name) {
    return rtl::Gb("目标出现 => ") + name + rtl::Gb("  取消对") + name + rtl::Gb("的监控?");
}

INSTANTIATE_TEST_SUITE_P(
    Captions, CaptionFits,
    testing::Values(CaptionCase{"Short", rtl::Gb("确认")},
                    CaptionCase{"Alert", rtl::Gb(AlertCaption)},
                    CaptionCase{"LongNickname", AlertCaptionFor(rtl::Gb(LongName(12)))},
                    CaptionCase{"LongerThanTheScreen", AlertCaptionFor(rtl::Gb(LongName(60)))}),
    [](const testing::TestParamInfo<CaptionCase>& param) { return param.param.Name; });

// On a scaled screen every picture of the program is drawn with as many device
// pixels as the ratio asks for, not drawn small and blown up.
TEST(ScaledScreen, PicturesAreDrawnAtTheDevicePixelRatio) {
    for (const qreal ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        const QPixmap banner = app::BannerPicture(ratio);
        EXPECT_EQ(banner.deviceIndependentSize(), QSizeF(app::BannerWidth, app::BannerHeight));
        EXPECT_EQ(banner.width(), static_cast<int>(app::BannerWidth * ratio));
        for (const QPixmap& picture :
             {app::DrawMessageIcon(app::MessageIcon::Information, ratio),
              app::DrawMessageIcon(app::MessageIcon::Question, ratio),
              app::DrawMessageIcon(app::MessageIcon::Critical, ratio), app::DrawClockPicture(ratio),
              app::DrawProgramPicture(ratio)}) {
            EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(32, 32));
            EXPECT_EQ(picture.width(), static_cast<int>(32 * ratio));
        }
        const QPixmap menu = app::MenuIcon(app::MenuImage::SoundOn).pixmap(QSize(16, 16), ratio);
        EXPECT_EQ(menu.width(), static_cast<int>(16 * ratio));
    }
    // The About box's picture is the program's bird, the one of every other icon.
    EXPECT_EQ(app::DrawProgramPicture(1).toImage().convertToFormat(QImage::Format_ARGB32),
              app::BirdImage(32).convertToFormat(QImage::Format_ARGB32));
}

}  // namespace
