#include "app/gui/DialogArt.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWidget>
#include <cmath>

#include "app/art/BirdArt.h"

namespace app {

void ApplyFormFont(QWidget& form) {
    QFont font = form.font();
    font.setFamilies(
        {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(12);
    form.setFont(font);
}

namespace {

constexpr int PictureSize = 32;

// A transparent square of 32 layout pixels with as many device pixels as the
// ratio asks for; a painter on it works in layout pixels.
QPixmap Canvas(qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int side = static_cast<int>(std::ceil(PictureSize * ratio));
    QPixmap picture(side, side);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    return picture;
}

// A shaded disc, the ground of every message icon.
void DrawDisc(QPainter& painter, const QColor& light, const QColor& dark) {
    QRadialGradient shade(QPointF(12, 10), 22);
    shade.setColorAt(0, light);
    shade.setColorAt(1, dark);
    painter.setPen(QPen(dark.darker(140), 1));
    painter.setBrush(shade);
    painter.drawEllipse(QRectF(2.5, 2.5, 27, 27));
}

}  // namespace

QPixmap DrawClockPicture(qreal devicePixelRatio) {
    QPixmap picture = Canvas(devicePixelRatio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 60, 120), 2));
    painter.setBrush(QColor(250, 250, 235));
    painter.drawEllipse(QRectF(3, 3, 26, 26));
    // Twelve ticks, the quarter hours longer.
    for (int hour = 0; hour < 12; ++hour) {
        painter.save();
        painter.translate(16, 16);
        painter.rotate(hour * 30.0);
        painter.setPen(QPen(QColor(40, 60, 120), hour % 3 == 0 ? 2 : 1));
        painter.drawLine(QPointF(0, -11), QPointF(0, hour % 3 == 0 ? -8 : -9.5));
        painter.restore();
    }
    painter.setPen(QPen(QColor(20, 20, 20), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 16), QPointF(16, 8));
    painter.drawLine(QPointF(16, 16), QPointF(22, 19));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 30, 30));
    painter.drawEllipse(QRectF(14.5, 14.5, 3, 3));
    return picture;
}

QPixmap DrawProgramPicture(qreal devicePixelRatio) {
    // The same bird as the window, tray and desktop icons.
    QPixmap picture = Canvas(devicePixelRatio);
    QPainter painter(&picture);
    PaintBird(painter, PictureSize);
    return picture;
}

QPixmap DrawMessageIcon(MessageIcon kind, qreal devicePixelRatio) {
    QPixmap picture = Canvas(devicePixelRatio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
        case MessageIcon::Information:
            DrawDisc(painter, QColor(120, 175, 240), QColor(30, 90, 190));
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawEllipse(QRectF(14, 7, 4, 4));
            painter.drawRoundedRect(QRectF(14, 13, 4, 12), 1.5, 1.5);
            break;
        case MessageIcon::Question: {
            DrawDisc(painter, QColor(120, 200, 190), QColor(20, 120, 120));
            QPainterPath hook;
            hook.moveTo(11.5, 12.5);
            hook.cubicTo(11.5, 6.5, 21, 6.5, 20.5, 12);
            hook.cubicTo(20, 15.5, 16, 15.5, 16, 19.5);
            painter.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(hook);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawEllipse(QRectF(14, 22, 4, 4));
            break;
        }
        case MessageIcon::Critical:
            DrawDisc(painter, QColor(245, 120, 110), QColor(180, 30, 30));
            painter.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(11, 11), QPointF(21, 21));
            painter.drawLine(QPointF(21, 11), QPointF(11, 21));
            break;
    }
    return picture;
}

}  // namespace app
