#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLineEdit;
class QWidget;

namespace app {

// What an input field of the list editors does beyond holding text:
// - it says what it is for, to a screen reader (its accessible name) and on
//   screen while it is empty (a grey placeholder), without anything typed;
// - its hint text ("在这里输入站点名称") never mixes with what the user types: the
//   hint is selected whole when the field gets the focus or is given the hint
//   while it has the focus, and anything typed or pasted into a hint that is
//   still whole, wherever the cursor stood, replaces it;
// - Return runs the field's action (what 添加 does).
// `field` is the widget that takes the focus and the keys (an editable combo
// box, or the line edit itself); `edit` holds the text. The object lives as a
// child of `field`.
class TEditorField : public QObject {
public:
    TEditorField(QWidget* field, QLineEdit* edit, const QString& purpose, const QString& hint,
                 std::function<void()> onReturn);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SelectHintSoon();
    void TextChanged(const QString& text);
    void TextEdited(const QString& text);

    QWidget* FField;
    QLineEdit* FEdit;
    QString FHint;
    std::function<void()> FOnReturn;
    // The text before the latest change and the one after it; whether the
    // hint was selected whole before it (a typed key then replaced it already).
    QString FBefore;
    QString FText;
    bool FHintSelected = false;
};

// What is left of `hint` after an edit turned it into `edited`: the characters
// typed or pasted into it, without the hint around them (empty when the edit
// only deleted).
QString InsertedIntoHint(const QString& hint, const QString& edited);

}  // namespace app
