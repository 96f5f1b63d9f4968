#include "app/gui/BringToFront.h"

#include <QApplication>
#include <QWidget>

#include "app/gui/MessageBoxWindow.h"

namespace app {
namespace {

void Raise(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    LetTakeFocus(window);
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

void BringToFront(QWidget* window, const StartupToken& token) {
    PrepareActivation(token);
    QWidget* front = window;
    if (window != nullptr)
        Raise(*window);
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != window) {
        Raise(*modal);
        front = modal;
    }
    if (front != nullptr)
        CompleteStartup(*front, token);
}

}  // namespace app
