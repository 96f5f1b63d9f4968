#pragma once

#include <QMessageBox>
#include <QTimer>

class QWindow;

namespace app {

// The watcher's message boxes. Each is wide enough for its title bar to show
// the whole caption (the alert's caption carries the question the buttons
// answer), and a box that appears on its own, unasked, can be shown without
// taking the keyboard from the window the user is typing in.
class TMessageBox : public QMessageBox {
    Q_OBJECT

public:
    using QMessageBox::QMessageBox;

    // Call before the box is shown. The box comes up without the keyboard
    // focus, so keys meant for another window stay there; a click in it gives
    // it the focus at once, and after a moment it takes the focus like any
    // window when the user activates it (its title bar, the taskbar).
    void ShowWithoutFocus();

    // How long the box declines the focus after it appears: the window
    // manager's answer to the map, which may offer the focus, arrives within
    // that time.
    static constexpr int DeclineFocusMs = 2000;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Widens the box to its caption's width when Qt sized it narrower; at
    // the first show it also moves it back to where it was centred.
    void FitCaption(bool centre);

    bool FDeclinesFocus = false;
    QTimer FAcceptFocusLater;
};

// Lets a window that was shown without the focus take it from now on.
void LetTakeFocus(QWidget& window);

}  // namespace app
