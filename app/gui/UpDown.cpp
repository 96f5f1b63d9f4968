#include "app/gui/UpDown.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

#include "rtl/ErrorReport.h"

namespace app {

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), FUp(new QToolButton(this)), FDown(new QToolButton(this)) {
    setFocusPolicy(Qt::TabFocus);
    for (QToolButton* arrow : {FUp, FDown}) {
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setIconSize(QSize(7, 7));
    }
    FUp->setObjectName("UpButton");
    FDown->setObjectName("DownButton");
    FUp->setArrowType(Qt::UpArrow);
    FDown->setArrowType(Qt::DownArrow);
    connect(FUp, &QToolButton::clicked, this,
            [this] { rtl::SafeCall([this] { Click(TUDBtnType::btNext); }); });
    connect(FDown, &QToolButton::clicked, this,
            [this] { rtl::SafeCall([this] { Click(TUDBtnType::btPrev); }); });
}

void TUpDown::SetRange(int minimum, int maximum) {
    FMin = minimum;
    FMax = std::max(minimum, maximum);
    SetPosition(FPosition);
}

void TUpDown::SetPosition(int position) {
    FPosition = std::clamp(position, FMin, FMax);
}

void TUpDown::SetIncrement(int increment) {
    FIncrement = std::max(1, increment);
}

void TUpDown::Click(TUDBtnType button) {
    // Wide arithmetic so a step near the int limits cannot overflow.
    const long long step = button == TUDBtnType::btNext ? FIncrement : -FIncrement;
    long long next = static_cast<long long>(FPosition) + step;
    if (next > FMax) {
        next = FWrap ? FMin : FMax;
    } else if (next < FMin) {
        next = FWrap ? FMax : FMin;
    }
    FPosition = static_cast<int>(next);
    if (OnClick)
        OnClick(*this, button);
}

QSize TUpDown::sizeHint() const {
    return QSize(15, 21);
}

void TUpDown::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int upper = height() / 2;
    FUp->setGeometry(0, 0, width(), upper);
    FDown->setGeometry(0, upper, width(), height() - upper);
}

void TUpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        rtl::SafeCall([this] { Click(TUDBtnType::btNext); });
    } else if (event->key() == Qt::Key_Down) {
        rtl::SafeCall([this] { Click(TUDBtnType::btPrev); });
    } else {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace app
