#include "app/gui/DialogArt.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace app {

void ApplyFormFont(QWidget& form) {
    QFont font = form.font();
    font.setFamilies(
        {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(12);
    form.setFont(font);
}

namespace {

QPixmap TransparentPicture() {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    return picture;
}

}  // namespace

QPixmap DrawClockPicture() {
    QPixmap picture = TransparentPicture();
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

QPixmap DrawProgramPicture() {
    // A small bird on its perch, watching.
    QPixmap picture = TransparentPicture();
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(110, 70, 30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(3, 27), QPointF(29, 27));
    painter.setPen(QPen(QColor(30, 60, 110), 1));
    painter.setBrush(QColor(70, 130, 200));
    QPainterPath body;
    body.moveTo(8, 24);
    body.cubicTo(6, 14, 12, 8, 19, 9);
    body.cubicTo(26, 10, 27, 18, 22, 24);
    body.closeSubpath();
    painter.drawPath(body);
    painter.setBrush(QColor(240, 150, 40));
    painter.drawEllipse(QRectF(13, 15, 8, 8));
    painter.setBrush(QColor(250, 190, 40));
    QPainterPath beak;
    beak.moveTo(24, 11);
    beak.lineTo(30, 13);
    beak.lineTo(24, 15);
    beak.closeSubpath();
    painter.drawPath(beak);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(19, 10, 4, 4));
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(20.5, 11, 2, 2));
    painter.setPen(QPen(QColor(110, 70, 30), 1.5));
    painter.drawLine(QPointF(13, 24), QPointF(13, 27));
    painter.drawLine(QPointF(18, 24), QPointF(18, 27));
    return picture;
}

}  // namespace app
