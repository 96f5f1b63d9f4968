#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QListWidget;
class QWidget;

namespace app {

// Tooltips of a list's rows made when the mouse rests on a row, not kept in
// the rows: a text that changes with every check (how long ago, where) then
// costs nothing until somebody looks at it.
class TRowToolTips : public QObject {
public:
    // text(row) gives the tooltip of a row; for an empty text the list shows
    // what it would show anyway.
    TRowToolTips(QListWidget* list, std::function<QString(int row)> text);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    QListWidget* FList;
    QWidget* FViewport;
    std::function<QString(int row)> FText;
};

}  // namespace app
