#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

namespace app {

// The main window's status bar: three sunken panels of fixed widths (the last
// one takes whatever is left). Clicks and mouse moves report the x position, so
// the window can act by panel; a disabled bar ignores both.
class TStatusBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int PanelCount = 3;
    static constexpr std::array<int, PanelCount> PanelWidths = {52, 334, 52};

    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;

    // Any mouse button pressed over the bar.
    std::function<void(int x)> MouseDown;
    std::function<void(int x)> MouseMove;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QRect PanelRect(int panel) const;

    std::array<QString, PanelCount> FTexts;
};

}  // namespace app
