#include "app/gui/MessageBoxWindow.h"

#include <QShowEvent>
#include <QWindow>

#include "app/gui/CaptionWidth.h"

namespace app {

void LetTakeFocus(QWidget& window) {
    if (!window.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus))
        return;
    // Changing a shown widget's flags would hide and re-create its window;
    // the flag is taken off the native window and recorded on the widget.
    window.overrideWindowFlags(window.windowFlags() & ~Qt::WindowDoesNotAcceptFocus);
    if (QWindow* handle = window.windowHandle())
        handle->setFlag(Qt::WindowDoesNotAcceptFocus, false);
}

void TMessageBox::ShowWithoutFocus() {
    // A modal window is activated by Qt as it is mapped, whatever the
    // attribute asks, so the window itself declines the focus for a while:
    // the window manager then cannot hand it over.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    FDeclinesFocus = true;
    FAcceptFocusLater.setSingleShot(true);
    FAcceptFocusLater.setInterval(DeclineFocusMs);
    connect(&FAcceptFocusLater, &QTimer::timeout, this, [this] { LetTakeFocus(*this); });
}

bool TMessageBox::event(QEvent* event) {
    // Qt sizes the box for its text when it is shown and again at every
    // layout request, allowing the caption only a little room (and never more
    // than 1000 pixels); the title bar needs more, up to the screen's width.
    const bool handled = QMessageBox::event(event);
    switch (event->type()) {
        case QEvent::Show:
            FitCaption(!event->spontaneous());
            break;
        case QEvent::LayoutRequest:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::WindowTitleChange:
            FitCaption(false);
            break;
        default:
            break;
    }
    return handled;
}

void TMessageBox::FitCaption(bool centre) {
    if (!isVisible())
        return;
    const int wanted = CaptionWidth(windowTitle(), *this);
    const int growth = wanted - width();
    if (growth <= 0)
        return;
    setFixedWidth(wanted);
    if (centre)
        move(x() - growth / 2, y());
}

void TMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    if (FDeclinesFocus && !event->spontaneous()) {
        if (QWindow* handle = windowHandle())
            handle->installEventFilter(this);
        FAcceptFocusLater.start();
    }
}

bool TMessageBox::eventFilter(QObject* watched, QEvent* event) {
    // A click anywhere in the box is the user turning to it.
    if (watched == windowHandle() && event->type() == QEvent::MouseButtonPress &&
        windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)) {
        FAcceptFocusLater.stop();
        LetTakeFocus(*this);
        activateWindow();
    }
    return QMessageBox::eventFilter(watched, event);
}

}  // namespace app
