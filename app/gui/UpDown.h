#pragma once

#include <QWidget>
#include <functional>

class QToolButton;

namespace app {

// Which arrow of an up-down control was clicked.
enum class TUDBtnType { btNext, btPrev };

// A free-standing up-down control: two stacked arrow buttons that step an
// integer position within [Min, Max]. It is not attached to any edit field; the
// owner shows the position itself from OnClick. Holding an arrow repeats, and
// the Up/Down keys step it while it has the focus.
class TUpDown : public QWidget {
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    int Increment() const { return FIncrement; }
    bool Wrap() const { return FWrap; }

    // Setting the range keeps the position inside it.
    void SetRange(int minimum, int maximum);
    // A position outside the range is pulled to the nearest bound.
    void SetPosition(int position);
    void SetIncrement(int increment);
    void SetWrap(bool wrap) { FWrap = wrap; }

    // Steps as a click on the given arrow does, then raises OnClick.
    void Click(TUDBtnType button);

    QToolButton* UpButton() const { return FUp; }
    QToolButton* DownButton() const { return FDown; }

    // Raised after every arrow click or key step, with the position already moved.
    std::function<void(TUpDown& sender, TUDBtnType button)> OnClick;

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int FMin = 0;
    int FMax = 100;
    int FPosition = 0;
    int FIncrement = 1;
    bool FWrap = false;
    QToolButton* FUp;
    QToolButton* FDown;
};

}  // namespace app
