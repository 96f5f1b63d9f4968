#include "app/gui/StatusBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFrame>

#include "rtl/ErrorReport.h"

namespace app {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TStatusBar::SetPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= PanelCount)
        return;
    if (FTexts[static_cast<size_t>(panel)] == text)
        return;
    FTexts[static_cast<size_t>(panel)] = text;
    update(PanelRect(panel));
}

QString TStatusBar::PanelText(int panel) const {
    if (panel < 0 || panel >= PanelCount)
        return {};
    return FTexts[static_cast<size_t>(panel)];
}

QSize TStatusBar::sizeHint() const {
    return {441, 19};
}

QRect TStatusBar::PanelRect(int panel) const {
    int left = 0;
    for (int i = 0; i < panel; ++i)
        left += PanelWidths[static_cast<size_t>(i)];
    int width = panel == PanelCount - 1 ? std::max(0, this->width() - left)
                                        : PanelWidths[static_cast<size_t>(panel)];
    return {left, 0, width, height()};
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    for (int panel = 0; panel < PanelCount; ++panel) {
        QRect box = PanelRect(panel).adjusted(0, 1, -1, 0);
        // A sunken frame: dark upper-left edges, light lower-right edges.
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(box.topLeft(), box.topRight());
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(box.bottomLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomRight());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        Qt::Alignment align = panel == 1 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter;
        // Four CJK characters of 12 px must fit the 52-pixel panels unclipped.
        QRect textBox = box.adjusted(1, 1, 0, -1);
        QString text = painter.fontMetrics().elidedText(FTexts[static_cast<size_t>(panel)],
                                                        Qt::ElideRight, textBox.width());
        painter.drawText(textBox, static_cast<int>(align), text);
    }
}

void TStatusBar::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (!isEnabled() || !MouseDown)
        return;
    int x = static_cast<int>(event->position().x());
    rtl::SafeCall([&] { MouseDown(x); });
}

void TStatusBar::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!isEnabled() || !MouseMove)
        return;
    int x = static_cast<int>(event->position().x());
    rtl::SafeCall([&] { MouseMove(x); });
}

}  // namespace app
