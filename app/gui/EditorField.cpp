#include "app/gui/EditorField.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

namespace app {

QString InsertedIntoHint(const QString& hint, const QString& edited) {
    // The edit kept a head and a tail of the hint; what lies between them in
    // the new text is what came in.
    const qsizetype room = std::min(hint.size(), edited.size());
    qsizetype head = 0;
    while (head < room && hint[head] == edited[head])
        ++head;
    qsizetype tail = 0;
    while (tail < room - head && hint[hint.size() - 1 - tail] == edited[edited.size() - 1 - tail])
        ++tail;
    return edited.mid(head, edited.size() - head - tail);
}

TEditorField::TEditorField(QWidget* field, QLineEdit* edit, const QString& purpose,
                           const QString& hint, std::function<void()> onReturn)
    : QObject(field),
      FField(field),
      FEdit(edit),
      FHint(hint),
      FOnReturn(std::move(onReturn)),
      FText(edit->text()) {
    field->setAccessibleName(purpose);
    edit->setAccessibleName(purpose);
    edit->setPlaceholderText(purpose);
    // The focus and the keys of an editable combo box go to the box, which
    // hands them to its line edit without passing them through filters.
    field->installEventFilter(this);
    // selectionChanged comes after both text signals, so the edit handler
    // still sees the selection the key replaced.
    connect(edit, &QLineEdit::textChanged, this, &TEditorField::TextChanged);
    connect(edit, &QLineEdit::textEdited, this, &TEditorField::TextEdited);
    connect(edit, &QLineEdit::selectionChanged, this,
            [this] { FHintSelected = FEdit->text() == FHint && FEdit->selectedText() == FHint; });
}

bool TEditorField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FField) {
        if (event->type() == QEvent::FocusIn) {
            SelectHintSoon();
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            const Qt::KeyboardModifiers others = key->modifiers() & ~Qt::KeypadModifier;
            if (enter && others == Qt::NoModifier && FOnReturn) {
                FOnReturn();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void TEditorField::SelectHintSoon() {
    // A click that gives the focus places the cursor after the focus has
    // arrived, which would undo a selection made now.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (FEdit->hasFocus() && FEdit->text() == FHint)
                FEdit->selectAll();
        },
        Qt::QueuedConnection);
}

void TEditorField::TextChanged(const QString&) {
    const QString now = FEdit->text();
    if (now == FText)
        return;
    FBefore = FText;
    FText = now;
    if (now == FHint && FEdit->hasFocus())
        SelectHintSoon();
}

void TEditorField::TextEdited(const QString& text) {
    // Qt tells of the edit before it tells of the change; either way round,
    // this is the text the edit started from.
    const QString before = FText == FEdit->text() ? FBefore : FText;
    // A key that replaced the selected hint left only itself; one typed into
    // the hint at the cursor, or a paste there, leaves the hint around it.
    if (before != FHint || FHintSelected || text == FHint)
        return;
    const QString inserted = InsertedIntoHint(FHint, text);
    FEdit->setText(inserted);
    FEdit->setCursorPosition(static_cast<int>(inserted.size()));
}

}  // namespace app
