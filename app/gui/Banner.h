#pragma once

#include <QLabel>
#include <QPixmap>

namespace app {

// The main window's banner picture. It is painted for the screen the window
// is on at the moment it is drawn, so a scaled screen (or a move to one) gets
// it sharp instead of a blown-up bitmap.
class TBanner : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    // The picture as last painted.
    const QPixmap& Picture() const { return FPicture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap FPicture;
};

}  // namespace app
