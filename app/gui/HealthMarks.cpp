#include "app/gui/HealthMarks.h"

#include <QPainter>
#include <map>

namespace app {
namespace {

QPixmap Paint(HealthState state, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double unit = size / 16.0;
    const QRectF dot(2 * unit, 2 * unit, 12 * unit, 12 * unit);
    switch (state) {
        case HealthState::NotChecked:
            p.setPen(QPen(QColor(150, 150, 150), 1.5 * unit));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(dot.adjusted(unit, unit, -unit, -unit));
            break;
        case HealthState::Ok:
            p.setPen(QPen(QColor(20, 110, 30), unit));
            p.setBrush(QColor(60, 175, 70));
            p.drawEllipse(dot);
            break;
        case HealthState::Failing:
            p.setPen(QPen(QColor(170, 95, 0), unit));
            p.setBrush(QColor(245, 160, 30));
            p.drawEllipse(dot);
            break;
        case HealthState::Broken:
            p.setPen(QPen(QColor(140, 0, 0), unit));
            p.setBrush(QColor(215, 30, 30));
            p.drawEllipse(dot);
            // An exclamation mark: a bar and a point.
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(7 * unit, 4.5 * unit, 2 * unit, 5 * unit), unit, unit);
            p.drawEllipse(QRectF(7 * unit, 10.5 * unit, 2 * unit, 2 * unit));
            break;
    }
    return pixmap;
}

}  // namespace

QIcon HealthMark(HealthState state) {
    static std::map<HealthState, QIcon> painted;
    auto found = painted.find(state);
    if (found == painted.end()) {
        QIcon icon;
        for (int size : {16, 32})
            icon.addPixmap(Paint(state, size));
        found = painted.emplace(state, icon).first;
    }
    return found->second;
}

}  // namespace app
