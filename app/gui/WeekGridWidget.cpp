#include "app/gui/WeekGridWidget.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "rtl/GbText.h"

namespace app {
namespace {

constexpr int Days = 7;
constexpr int Hours = 24;
constexpr qreal Margin = 6;
constexpr qreal Gap = 1;  // between cells, so that neighbours of one shade stay apart
constexpr int HourStep = 3;

QString Text(const char* utf8) {
    return rtl::FromGb(rtl::Gb(utf8));
}

QString DayName(int day) {
    static const char* const names[Days] = {"周一", "周二", "周三", "周四", "周五", "周六", "周日"};
    return Text(names[day]);
}

QString HourName(int hour) {
    return QString::number(hour) + Text("时");
}

// An empty hour is a little darker than a window's background, so that it
// still reads as a cell; one day in GridWeeks already looks unlike none.
const QColor Empty(0xE1, 0xE5, 0xEB);
const QColor Light(0xC6, 0xD9, 0xEE);
const QColor Strong(0x0B, 0x5C, 0xAD);

}  // namespace

TWeekGridWidget::TWeekGridWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("WeekGrid");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void TWeekGridWidget::SetGrid(const WeekGrid& grid) {
    FGrid = grid;
    update();
}

void TWeekGridWidget::ClearGrid() {
    FGrid.reset();
    update();
}

QColor TWeekGridWidget::CellColor(int days) {
    if (days <= 0)
        return Empty;
    const qreal share = (std::min(days, GridWeeks) - 1) / static_cast<qreal>(GridWeeks - 1);
    auto mix = [share](int from, int to) {
        return static_cast<int>(std::lround(from + (to - from) * share));
    };
    return QColor(mix(Light.red(), Strong.red()), mix(Light.green(), Strong.green()),
                  mix(Light.blue(), Strong.blue()));
}

QSize TWeekGridWidget::sizeHint() const {
    const QFontMetrics metrics(font());
    const int cell = std::max(22, metrics.height() + 4);
    const int left = metrics.horizontalAdvance(DayName(0)) + 3 * static_cast<int>(Margin);
    return QSize(left + Hours * cell + static_cast<int>(Margin),
                 4 * metrics.height() + Days * (cell - 4) + static_cast<int>(3 * Margin));
}

QSize TWeekGridWidget::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    const int left = metrics.horizontalAdvance(DayName(0)) + 3 * static_cast<int>(Margin);
    return QSize(left + Hours * 12, 3 * metrics.height() + Days * 12);
}

TWeekGridWidget::Layout TWeekGridWidget::Arrange() const {
    const QFontMetricsF metrics(font());
    Layout layout;
    layout.Left = Margin + metrics.horizontalAdvance(DayName(0)) + Margin;
    layout.Top = Margin + metrics.height() + 2;
    const qreal legendHeight = metrics.height() + 2 * Margin;
    layout.CellWidth = std::max<qreal>(4, (width() - layout.Left - Margin) / Hours);
    layout.CellHeight = std::max<qreal>(4, (height() - layout.Top - legendHeight - Margin) / Days);
    // Cells wider than about twice their height look like stripes, not a grid.
    layout.CellWidth = std::min(layout.CellWidth, 2.5 * layout.CellHeight + 8);
    layout.LegendTop = layout.Top + Days * layout.CellHeight + Margin;
    return layout;
}

QRectF TWeekGridWidget::CellRect(const Layout& layout, int day, int hour) const {
    // Edges on whole logical pixels, so every gap is equally wide.
    const qreal left = std::round(layout.Left + hour * layout.CellWidth);
    const qreal right = std::round(layout.Left + (hour + 1) * layout.CellWidth);
    const qreal top = std::round(layout.Top + day * layout.CellHeight);
    const qreal bottom = std::round(layout.Top + (day + 1) * layout.CellHeight);
    return QRectF(left, top, right - left - Gap, bottom - top - Gap);
}

int TWeekGridWidget::CellAt(const QPoint& point) const {
    if (!FGrid)
        return -1;
    const Layout layout = Arrange();
    const int hour = static_cast<int>(std::floor((point.x() - layout.Left) / layout.CellWidth));
    const int day = static_cast<int>(std::floor((point.y() - layout.Top) / layout.CellHeight));
    if (point.x() < layout.Left || point.y() < layout.Top || hour >= Hours || day >= Days)
        return -1;
    return day * Hours + hour;
}

void TWeekGridWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor text = palette().color(QPalette::WindowText);
    if (!FGrid) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter, Text("选择一个昵称查看它的出现时段"));
        return;
    }
    const WeekGrid& grid = *FGrid;
    const Layout layout = Arrange();
    const QFontMetricsF metrics(font());
    painter.setPen(text);

    for (int hour = 0; hour < Hours; hour += HourStep) {
        const QRectF cell = CellRect(layout, 0, hour);
        painter.drawText(QRectF(cell.left(), Margin, layout.CellWidth * HourStep, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, HourName(hour));
    }
    for (int day = 0; day < Days; ++day) {
        const QRectF cell = CellRect(layout, day, 0);
        painter.drawText(QRectF(Margin, cell.top(), layout.Left - 2 * Margin, cell.height()),
                         Qt::AlignRight | Qt::AlignVCenter, DayName(day));
        for (int hour = 0; hour < Hours; ++hour)
            painter.fillRect(CellRect(layout, day, hour),
                             CellColor(grid[static_cast<size_t>(day)][static_cast<size_t>(hour)]));
    }

    // The legend: its words, then "0", one swatch per count, and GridWeeks.
    const qreal swatch = std::min<qreal>(metrics.height(), 14);
    const qreal lineTop = layout.LegendTop;
    const qreal middle = lineTop + metrics.height() / 2;
    qreal x = layout.Left;
    const QString words = Text("近 ") + QString::number(GridWeeks) + Text(" 周每小时出现的天数");
    painter.drawText(QPointF(x, lineTop + metrics.ascent()), words);
    x += metrics.horizontalAdvance(words) + 3 * Margin;
    painter.drawText(QPointF(x, lineTop + metrics.ascent()), "0");
    x += metrics.horizontalAdvance("0") + Margin;
    for (int days = 0; days <= GridWeeks; ++days) {
        painter.fillRect(QRectF(std::round(x), std::round(middle - swatch / 2), swatch, swatch),
                         CellColor(days));
        x += swatch + Gap;
    }
    x += Margin - Gap;
    painter.drawText(QPointF(x, lineTop + metrics.ascent()), QString::number(GridWeeks));
}

bool TWeekGridWidget::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const int cell = CellAt(help->pos());
    if (cell < 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const int day = cell / Hours;
    const int hour = cell % Hours;
    const int count = (*FGrid)[static_cast<size_t>(day)][static_cast<size_t>(hour)];
    const QString tip = DayName(day) + " " + QString::asprintf("%02d:00-%02d:00", hour, hour + 1) +
                        Text(": 近 ") + QString::number(GridWeeks) + Text(" 周有 ") +
                        QString::number(count) + Text(" 天出现");
    QToolTip::showText(help->globalPos(), tip, this);
    return true;
}

}  // namespace app
