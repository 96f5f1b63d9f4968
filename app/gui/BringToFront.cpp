#include "app/gui/BringToFront.h"

#include <QApplication>
#include <QWidget>

namespace app {
namespace {

void Raise(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

void BringToFront(QWidget* window) {
    if (window != nullptr)
        Raise(*window);
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != window)
        Raise(*modal);
}

}  // namespace app
