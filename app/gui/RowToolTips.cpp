#include "app/gui/RowToolTips.h"

#include <QHelpEvent>
#include <QListWidget>
#include <QToolTip>

namespace app {

TRowToolTips::TRowToolTips(QListWidget* list, std::function<QString(int row)> text)
    : QObject(list), FList(list), FViewport(list->viewport()), FText(std::move(text)) {
    FViewport->installEventFilter(this);
}

bool TRowToolTips::eventFilter(QObject* watched, QEvent* event) {
    // The type first: the viewport's last events come while the list is
    // being destroyed, when it may no longer be asked anything.
    if (event->type() != QEvent::ToolTip || watched != FViewport)
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = FList->indexAt(help->pos());
    const QString text = index.isValid() ? FText(index.row()) : QString();
    // Without a text of its own the list answers as usual (its own hint).
    if (text.isEmpty())
        return false;
    QToolTip::showText(help->globalPos(), text, FViewport, FList->visualRect(index));
    return true;
}

}  // namespace app
