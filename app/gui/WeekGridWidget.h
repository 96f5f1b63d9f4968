#pragma once

#include <QWidget>
#include <optional>

#include "app/watch/Presence.h"

namespace app {

// When a nickname tends to be there: a week by hour, 7 rows (周一 .. 周日) of
// 24 hours, each cell shaded from light (never present in that hour) to a
// strong colour (present on every one of the last GridWeeks days), with a
// legend below. Without a grid (no nickname chosen) it asks for one. Painted
// in logical coordinates, so it stays sharp on a scaled screen; a cell's
// tooltip gives its count in words.
class TWeekGridWidget : public QWidget {
public:
    explicit TWeekGridWidget(QWidget* parent = nullptr);

    void SetGrid(const WeekGrid& grid);
    // Shows the request to choose a nickname instead of a grid.
    void ClearGrid();
    const std::optional<WeekGrid>& Grid() const { return FGrid; }

    // The shade of a cell that counts `days` of GridWeeks.
    static QColor CellColor(int days);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Where the parts go for the widget's current size and font.
    struct Layout {
        qreal Left = 0;  // the cells' left edge, right of the day names
        qreal Top = 0;   // the cells' top edge, below the hours
        qreal CellWidth = 0;
        qreal CellHeight = 0;
        qreal LegendTop = 0;
    };
    Layout Arrange() const;
    QRectF CellRect(const Layout& layout, int day, int hour) const;
    // The cell under a point, as day * 24 + hour, or -1.
    int CellAt(const QPoint& point) const;

    std::optional<WeekGrid> FGrid;
};

}  // namespace app
