#include "app/gui/ImageList.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <map>

#include "app/art/BirdArt.h"

namespace app {
namespace {

// The pictures are drawn in layout pixels on a canvas of as many device pixels
// as the ratio asks for, so a scaled screen gets them sharp, not blown up.
QPixmap Blank(int width, int height, qreal ratio = 1) {
    QPixmap pixmap(static_cast<int>(std::ceil(width * ratio)),
                   static_cast<int>(std::ceil(height * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A small speaker, shared by the two sound pictures.
void DrawSpeaker(QPainter& p) {
    QPainterPath speaker;
    speaker.moveTo(2, 6);
    speaker.lineTo(5, 6);
    speaker.lineTo(9, 2);
    speaker.lineTo(9, 14);
    speaker.lineTo(5, 10);
    speaker.lineTo(2, 10);
    speaker.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 90, 90));
    p.drawPath(speaker);
}

// A row of three small list lines with a box before each.
void DrawChecklist(QPainter& p, bool checked) {
    for (int row = 0; row < 3; ++row) {
        int y = 2 + row * 5;
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRect(1, y, 3, 3);
        if (checked)
            p.fillRect(2, y + 1, 2, 2, QColor(0, 130, 0));
        p.setPen(QPen(QColor(70, 90, 140), 1));
        p.drawLine(7, y + 2, 14, y + 2);
    }
}

QPixmap Paint(MenuImage image, qreal ratio) {
    QPixmap pixmap = Blank(16, 16, ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (image) {
        case MenuImage::StartImmediately: {
            // A lightning bolt: monitoring right from the start.
            QPainterPath bolt;
            bolt.moveTo(9, 1);
            bolt.lineTo(3, 9);
            bolt.lineTo(7.5, 9);
            bolt.lineTo(6, 15);
            bolt.lineTo(13, 6);
            bolt.lineTo(8.5, 6);
            bolt.closeSubpath();
            p.setPen(QPen(QColor(150, 100, 0), 1));
            p.setBrush(QColor(255, 200, 0));
            p.drawPath(bolt);
            break;
        }
        case MenuImage::StartMonitoring: {
            QPainterPath play;
            play.moveTo(4, 2);
            play.lineTo(13, 8);
            play.lineTo(4, 14);
            play.closeSubpath();
            p.setPen(QPen(QColor(0, 100, 0), 1));
            p.setBrush(QColor(40, 180, 60));
            p.drawPath(play);
            break;
        }
        case MenuImage::PauseMonitoring:
            p.setPen(QPen(QColor(120, 20, 20), 1));
            p.setBrush(QColor(210, 60, 50));
            p.drawRect(QRectF(3.5, 2.5, 3, 11));
            p.drawRect(QRectF(9.5, 2.5, 3, 11));
            break;
        case MenuImage::SoundOn:
            DrawSpeaker(p);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0, 110, 200), 1.2));
            p.drawArc(QRectF(7, 4, 6, 8), -60 * 16, 120 * 16);
            p.drawArc(QRectF(6, 1.5, 9, 13), -60 * 16, 120 * 16);
            break;
        case MenuImage::SoundOff:
            DrawSpeaker(p);
            p.setPen(QPen(QColor(200, 30, 30), 1.6));
            p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
            p.drawLine(QPointF(14.5, 5.5), QPointF(10.5, 10.5));
            break;
        case MenuImage::ClearAll:
            DrawChecklist(p, false);
            break;
        case MenuImage::SelectAll:
            DrawChecklist(p, true);
            break;
    }
    return pixmap;
}

}  // namespace

QIcon MenuIcon(MenuImage image) {
    static std::map<MenuImage, QIcon> icons;
    auto found = icons.find(image);
    if (found == icons.end()) {
        // Menus ask for 16 layout pixels times the screen's ratio.
        QIcon icon;
        for (qreal ratio : {1.0, 1.5, 2.0, 3.0})
            icon.addPixmap(Paint(image, ratio));
        found = icons.emplace(image, icon).first;
    }
    return found->second;
}

QPixmap BannerPicture(qreal devicePixelRatio) {
    QPixmap pixmap = Blank(BannerWidth, BannerHeight, devicePixelRatio > 0 ? devicePixelRatio : 1);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient sky(0, 0, 0, BannerHeight);
    sky.setColorAt(0, QColor(205, 228, 250));
    sky.setColorAt(1, QColor(120, 170, 220));
    p.fillRect(QRectF(0, 0, BannerWidth, BannerHeight), sky);

    // A branch across the picture with a small bird perched on it.
    p.setPen(QPen(QColor(95, 65, 35), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 62), QPointF(150, 54));
    p.setBrush(QColor(70, 110, 170));
    p.setPen(QPen(QColor(40, 60, 100), 1));
    p.drawEllipse(QPointF(78, 42), 14, 10);  // body
    p.drawEllipse(QPointF(92, 31), 7, 7);    // head
    p.setBrush(QColor(240, 160, 40));
    QPainterPath beak;
    beak.moveTo(98, 29);
    beak.lineTo(106, 32);
    beak.lineTo(98, 34);
    beak.closeSubpath();
    p.drawPath(beak);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(94, 29.5), 1.8, 1.8);
    QPainterPath tail;
    tail.moveTo(65, 40);
    tail.lineTo(48, 36);
    tail.lineTo(52, 46);
    tail.closeSubpath();
    p.setBrush(QColor(55, 90, 150));
    p.drawPath(tail);

    QFont title("DejaVu Sans");
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(20, 50, 100));
    p.drawText(QRect(170, 6, 245, 40), Qt::AlignLeft | Qt::AlignVCenter, "Perchly");
    QFont sub;
    sub.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                     QStringLiteral("SimSun"), QStringLiteral("宋体")});
    sub.setPixelSize(13);
    p.setFont(sub);
    p.setPen(QColor(30, 40, 60));
    p.drawText(QRect(172, 44, 245, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("替你守望聊天室里的朋友"));
    return pixmap;
}

QIcon WindowIcon() {
    // The bird of the desktop icons, painted at the sizes title bars and task
    // bars ask for.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 96, 128, 256})
        icon.addPixmap(QPixmap::fromImage(BirdImage(size)));
    return icon;
}

}  // namespace app
