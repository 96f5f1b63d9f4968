#include "app/gui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QPainter>

#include "app/art/BirdArt.h"
#include "app/gui/BringToFront.h"
#include "app/gui/ImageList.h"
#include "app/gui/Product.h"
#include "app/gui/Unit1.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"

namespace app {
namespace {

// A menu picture in a corner of the icon, on a light patch so it reads on any panel.
void DrawBadge(QPainter& painter, MenuImage image, const QRectF& place) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRoundedRect(place, place.width() / 5, place.height() / 5);
    const QPixmap picture = MenuIcon(image).pixmap(place.size().toSize());
    painter.drawPixmap(place, picture, QRectF(picture.rect()));
}

}  // namespace

TTrayIcon::TTrayIcon(TForm1& form) : FForm(form) {
    FShowWindow = FMenu.addAction(WindowIcon(), QString::fromUtf8("显示主窗口(&S)"));
    FMenu.addSeparator();
    // The same items, pictures and handlers as the banner picture's menu.
    FStart = FMenu.addAction(form.N2->icon(), form.N2->text());
    FPause = FMenu.addAction(form.N3->icon(), form.N3->text());
    FSoundOn = FMenu.addAction(form.N0->icon(), form.N0->text());
    FSoundOff = FMenu.addAction(form.N1->icon(), form.N1->text());
    FMenu.addSeparator();
    FExit = FMenu.addAction(QString::fromUtf8("退出程序(&X)"));
    FMenu.setFont(form.font());

    auto run = [](auto handler) { return [handler] { rtl::SafeCall(handler); }; };
    connect(FShowWindow, &QAction::triggered, this, [this] { BringToFront(&FForm); });
    connect(FStart, &QAction::triggered, this, run([this] { FForm.mnuTrayPauseClick(); }));
    connect(FPause, &QAction::triggered, this, run([this] { FForm.mnuTrayPauseClick(); }));
    connect(FSoundOn, &QAction::triggered, this, run([this] { FForm.mnuTraySoundClick(); }));
    connect(FSoundOff, &QAction::triggered, this, run([this] { FForm.mnuTraySoundClick(); }));
    connect(FExit, &QAction::triggered, this, run([this] { FForm.mnuTrayExitClick(); }));
    connect(&FMenu, &QMenu::aboutToShow, this, [this] { PrepareMenu(); });
    connect(&FIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    BringToFront(&FForm);
            });

    FIcon.setContextMenu(&FMenu);
    form.OnStateShown = [this] { ShowState(); };
    ShowState();
    PrepareMenu();
    FIcon.show();
}

TTrayIcon::~TTrayIcon() {
    FForm.OnStateShown = nullptr;
}

void TTrayIcon::ShowState() {
    const bool monitoring = FForm.MonitoringShown();
    const bool soundOn = FForm.State().SoundOn;
    // The tooltip follows every check; the picture is painted only when it changes.
    const std::pair<bool, bool> shown{monitoring, soundOn};
    if (shown != FIconShown) {
        FIcon.setIcon(StateIcon(monitoring, soundOn));
        FIconShown = shown;
    }
    FIcon.setToolTip(StateText(monitoring, soundOn) + "\n" +
                     WatchText(FForm.Summary(), FForm.NothingWatchedText()));
}

void TTrayIcon::PrepareMenu() {
    // The banner menu's own rules decide which items show and which work.
    FForm.PopupMenu1Popup();
    const std::pair<QAction*, QAction*> pairs[] = {
        {FStart, FForm.N2}, {FPause, FForm.N3}, {FSoundOn, FForm.N0}, {FSoundOff, FForm.N1}};
    // The tray stays reachable while a box or dialog waits for an answer, but
    // the window's commands are blocked then, as they are in the window itself.
    const bool blocked = QApplication::activeModalWidget() != nullptr;
    for (const auto& [item, model] : pairs) {
        item->setVisible(model->isVisible());
        item->setEnabled(model->isEnabled() && !blocked);
    }
    FExit->setEnabled(!blocked);
}

QString TTrayIcon::WatchText(const TForm1::WatchSummary& summary, const std::string& nothing) {
    if (!nothing.empty())
        return rtl::FromGb(nothing);
    if (summary.Failing == 0)
        return QString::fromUtf8("%1 个站点, 没有发现问题").arg(summary.Sites);
    return QString::fromUtf8("%1 个站点, %2 个无法访问").arg(summary.Sites).arg(summary.Failing);
}

QIcon TTrayIcon::StateIcon(bool monitoring, bool soundOn) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QImage image = BirdImage(size, !monitoring);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const double badge = size * 0.5;
        if (!monitoring)
            DrawBadge(painter, MenuImage::PauseMonitoring, QRectF(0, 0, badge, badge));
        if (!soundOn)
            DrawBadge(painter, MenuImage::SoundOff,
                      QRectF(size - badge, size - badge, badge, badge));
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QString TTrayIcon::StateText(bool monitoring, bool soundOn) {
    return QString::fromUtf8(ProductVersion) + "\n" +
           QString::fromUtf8(monitoring ? "正在监控" : "暂停监控") + ", " +
           QString::fromUtf8(soundOn ? "声音打开" : "声音关闭");
}

}  // namespace app
