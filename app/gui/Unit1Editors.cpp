#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <array>

#include "app/gui/CommandWiring.h"
#include "app/gui/EditorField.h"
#include "app/gui/Unit1.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

namespace app {
namespace {

// Typed or pasted text may carry control characters (a pasted line end, a tab),
// which the settings file cannot hold in a value: a name with one could never
// be saved and the window could never close. They are dropped at the field.
std::string FieldText(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            clean.append(c);
    return rtl::ToGb(clean);
}

bool IsEmptyInput(const QString& text, const char* placeholder) {
    return text.isEmpty() || text == QString::fromUtf8(placeholder);
}

// An editable combo box shows the placeholder with no item chosen, so a delete
// that follows asks the user to pick an entry first.
void ShowPlaceholder(QComboBox* box, const char* placeholder) {
    box->setCurrentIndex(-1);
    box->setEditText(QString::fromUtf8(placeholder));
}

void SetShownAndEnabled(std::initializer_list<QWidget*> widgets, bool on) {
    for (QWidget* widget : widgets) {
        widget->setEnabled(on);
        widget->setVisible(on);
    }
}

// Deleting slot e of the count in use moves the later ones up by one, flags
// and all, and empties the last.
template <typename Slot, size_t Size>
void RemoveSlot(std::array<Slot, Size>& entries, int e, int count) {
    for (int k = e + 1; k < count; ++k)
        entries[static_cast<size_t>(k - 1)] = entries[static_cast<size_t>(k)];
    entries[static_cast<size_t>(count - 1)] = Slot{};
}

// Removes item e, whose slot is already gone, and chooses the item that took
// its place, or the one before when it was the last.
int RemoveChosenItem(QComboBox* box, int e) {
    box->removeItem(e);
    if (e >= box->count())
        --e;
    box->setCurrentIndex(e);
    return e;
}

}  // namespace

// The in-place site and target editors (Button1Click ... Button10Click,
// ComboBox1Click), the selection copies (ListBox1Click, ListBox2Click) and the
// select-all / clear-all commands (A1Click, mnuTrayCleanClick).
void TForm1::ConnectEditorHandlers() {
    ConnectCommand(ui->Button1, this, [this] { Button1Click(); });
    ConnectCommand(ui->Button2, this, [this] { Button2Click(); });
    ConnectCommand(ui->Button3, this, [this] { Button3Click(); });
    ConnectCommand(ui->Button4, this, [this] { Button4Click(); });
    ConnectCommand(ui->Button5, this, [this] { Button5Click(); });
    ConnectCommand(ui->Button6, this, [this] { Button6Click(); });
    ConnectCommand(ui->Button7, this, [this] { Button7Click(); });
    ConnectCommand(ui->Button8, this, [this] { Button8Click(); });
    ConnectCommand(ui->Button9, this, [this] { Button9Click(); });
    ConnectCommand(ui->Button10, this, [this] { Button10Click(); });
    // Only a choice from the drop-down list, not typing, shows that site's URL.
    connect(ui->ComboBox1, &QComboBox::activated, this,
            [this](int index) { rtl::SafeCall([&] { ComboBox1Click(index); }); });
    // Selections set from code block these signals, so only the user's changes
    // (click, Ctrl/Shift click, drag, keyboard) reach the copy handlers.
    connect(ui->ListBox1, &QListWidget::itemSelectionChanged, this,
            [this] { rtl::SafeCall([this] { ListBox1Click(); }); });
    connect(ui->ListBox2, &QListWidget::itemSelectionChanged, this,
            [this] { rtl::SafeCall([this] { ListBox2Click(); }); });
    connect(A1, &QAction::triggered, this, [this] { rtl::SafeCall([this] { A1Click(); }); });
    connect(C1, &QAction::triggered, this,
            [this] { rtl::SafeCall([this] { mnuTrayCleanClick(); }); });
    connect(ui->mnuTrayClean, &QAction::triggered, this,
            [this] { rtl::SafeCall([this] { mnuTrayCleanClick(); }); });

    // The fields name their purpose, keep their hints whole and add on Return.
    auto addSite = [this] { rtl::SafeCall([this] { Button5Click(); }); };
    auto addTarget = [this] { rtl::SafeCall([this] { Button8Click(); }); };
    new TEditorField(ui->ComboBox1, ui->ComboBox1->lineEdit(), QString::fromUtf8("站点名称"),
                     QString::fromUtf8(SiteNamePlaceholder), addSite);
    new TEditorField(ui->Edit1, ui->Edit1, QString::fromUtf8("站点网址"),
                     QString::fromUtf8(SiteUrlPlaceholder), addSite);
    new TEditorField(ui->ComboBox2, ui->ComboBox2->lineEdit(), QString::fromUtf8("昵称"),
                     QString::fromUtf8(TargetNamePlaceholder), addTarget);
}

void TForm1::FocusField(QComboBox* box) {
    // The name field takes the keys at once, its text selected, so what is
    // typed or pasted right after opening replaces it.
    box->setFocus(Qt::OtherFocusReason);
    if (QLineEdit* edit = box->lineEdit())
        edit->selectAll();
}

void TForm1::BeginEditing() {
    if (EditorOpen())
        return;  // the first editor already paused monitoring and kept the record
    FState.SavedRunState = !Timer1->Enabled();
    if (Timer1->Enabled())
        mnuTrayPauseClick();
    Timer1->SetEnabled(false);
    ui->StatusBar1->setEnabled(false);
    ui->mnuTrayPause->setEnabled(false);
    ui->mnuTrayClean->setEnabled(false);
    // Both context-menu commands write the flags of both lists by their rows,
    // and the rows of a list being edited are out of date until it is confirmed.
    A1->setEnabled(false);
    C1->setEnabled(false);
}

void TForm1::EndEditing() {
    if (EditorOpen())
        return;  // the other editor is still open and keeps monitoring paused
    ui->StatusBar1->setEnabled(true);
    ui->mnuTrayPause->setEnabled(true);
    ui->mnuTrayClean->setEnabled(true);
    A1->setEnabled(true);
    C1->setEnabled(true);
    if (!FState.SavedRunState)
        mnuTrayPauseClick();
}

void TForm1::Button1Click() {
    if (FSiteEditorOpen)
        return;
    SetStatusText(1, rtl::Gb(SiteEditorHint));
    BeginEditing();
    FSiteEditorOpen = true;
    ui->ListBox1->hide();
    ui->Button1->hide();
    ui->Button2->hide();
    SetShownAndEnabled({ui->ComboBox1, ui->Edit1}, true);

    ui->ComboBox1->clear();
    ui->ComboBox1->clearEditText();
    const int rows = ui->ListBox1->count();
    for (int n = 0; n < rows && n <= MaxSiteIndex; ++n) {
        const std::string& name = FState.Sites[static_cast<size_t>(n)].Name;
        if (!name.empty())
            ui->ComboBox1->addItem(rtl::FromGb(name));
    }
    ui->ComboBox1->setCurrentIndex(ui->ComboBox1->count() > 0 ? 0 : -1);
    ui->Edit1->setText(rtl::FromGb(FState.Sites[0].Url));
    SetShownAndEnabled({ui->Button5, ui->Button6, ui->Button7}, true);
    FocusField(ui->ComboBox1);
}

void TForm1::Button3Click() {
    if (FTargetEditorOpen)
        return;
    BeginEditing();
    FTargetEditorOpen = true;
    ui->ListBox2->hide();
    ui->Button3->hide();
    ui->Button4->hide();
    SetShownAndEnabled({ui->ComboBox2}, true);

    ui->ComboBox2->clear();
    ui->ComboBox2->clearEditText();
    const int rows = ui->ListBox2->count();
    for (int n = 0; n < rows && n <= MaxTargetIndex; ++n) {
        const std::string& name = FState.Targets[static_cast<size_t>(n)].Name;
        if (!name.empty())
            ui->ComboBox2->addItem(rtl::FromGb(name));
    }
    ui->ComboBox2->setCurrentIndex(ui->ComboBox2->count() > 0 ? 0 : -1);
    SetShownAndEnabled({ui->Button8, ui->Button9, ui->Button10}, true);
    FocusField(ui->ComboBox2);
}

void TForm1::ComboBox1Click(int index) {
    if (index < 0 || index > MaxSiteIndex)
        return;
    ui->Edit1->setText(rtl::FromGb(FState.Sites[static_cast<size_t>(index)].Url));
}

bool TForm1::AddSite() {
    const int count = ui->ComboBox1->count();
    if (count > MaxSiteIndex) {
        FDesktop.ShowMessage(rtl::Gb("不能设定大于") + std::to_string(MaxSiteIndex + 1) +
                             rtl::Gb("个站点"));
        return false;
    }
    const QString nameField = ui->ComboBox1->currentText();
    const QString urlField = ui->Edit1->text();
    if (IsEmptyInput(nameField, SiteNamePlaceholder) || IsEmptyInput(urlField, SiteUrlPlaceholder))
        return true;
    const std::string name = FieldText(nameField);
    const std::string url = FieldText(urlField);
    if (name.empty() || url.empty())
        return true;
    for (int k = 0; k < count; ++k) {
        SiteSlot& slot = FState.Sites[static_cast<size_t>(k)];
        if (name == slot.Name) {
            slot.Url = url;
            return true;
        }
        if (url == slot.Url) {
            FDesktop.ShowMessage(slot.Url + rtl::Gb(" 已经存在."));
            return true;
        }
    }
    ui->ComboBox1->addItem(rtl::FromGb(name));
    SiteSlot& added = FState.Sites[static_cast<size_t>(ui->ComboBox1->count() - 1)];
    added.Name = name;
    added.Url = url;
    return true;
}

bool TForm1::AddTarget() {
    const int count = ui->ComboBox2->count();
    if (count > MaxTargetIndex) {
        FDesktop.ShowMessage(rtl::Gb("不能设定大于") + std::to_string(MaxTargetIndex + 1) +
                             rtl::Gb("个目标"));
        return false;
    }
    const QString nameField = ui->ComboBox2->currentText();
    if (IsEmptyInput(nameField, TargetNamePlaceholder))
        return true;
    const std::string name = FieldText(nameField);
    if (name.empty())
        return true;
    for (int k = 0; k < count; ++k)
        if (name == FState.Targets[static_cast<size_t>(k)].Name)
            return true;
    ui->ComboBox2->addItem(rtl::FromGb(name));
    FState.Targets[static_cast<size_t>(ui->ComboBox2->count() - 1)].Name = name;
    return true;
}

void TForm1::Button5Click() {
    if (!AddSite())
        return;  // the list is full: the fields keep what was typed
    ShowPlaceholder(ui->ComboBox1, SiteNamePlaceholder);
    ui->Edit1->setText(QString::fromUtf8(SiteUrlPlaceholder));
}

void TForm1::Button8Click() {
    if (!AddTarget())
        return;
    ShowPlaceholder(ui->ComboBox2, TargetNamePlaceholder);
}

int TForm1::ConfirmDeletion(QComboBox* box, const std::string& onlyEntryText,
                            const std::string& noChoiceText) {
    const int count = box->count();
    if (count == 1) {
        FDesktop.MessageBox(this, onlyEntryText, rtl::Gb("不能删除!"), DesktopServices::Buttons::Ok,
                            DesktopServices::Icon::Information);
        return -1;
    }
    const int e = box->currentIndex();
    if (e < 0) {
        FDesktop.MessageBox(this, noChoiceText, rtl::Gb("选择"), DesktopServices::Buttons::Ok,
                            DesktopServices::Icon::Information);
        return -1;
    }
    DesktopServices::Answer answer =
        FDesktop.MessageBox(this, rtl::Gb("你真的确定删除") + rtl::ToGb(box->itemText(e)) + "?",
                            rtl::Gb("确认"), DesktopServices::Buttons::YesNo,
                            DesktopServices::Icon::Information, DesktopServices::DefaultButton::No);
    if (answer != DesktopServices::Answer::Yes)
        return -1;
    // The box may have changed while the question was shown (the dialog runs
    // its own event loop); the slots must still match its items.
    if (box->count() != count || box->currentIndex() != e)
        return -1;
    return e;
}

void TForm1::Button6Click() {
    const int e = ConfirmDeletion(ui->ComboBox1,
                                  rtl::Gb("至少要有一个站点存在,所以不能删除!如果想删除此站\r"
                                          "点,请添加一个正确的站点后再删除此站点。"),
                                  rtl::Gb("没有选中要删除的站点。"));
    if (e < 0)
        return;
    RemoveSlot(FState.Sites, e, ui->ComboBox1->count());
    const int chosen = RemoveChosenItem(ui->ComboBox1, e);
    if (chosen >= 0)
        ui->Edit1->setText(rtl::FromGb(FState.Sites[static_cast<size_t>(chosen)].Url));
}

void TForm1::Button9Click() {
    const int e = ConfirmDeletion(ui->ComboBox2,
                                  rtl::Gb("至少要有一个目标存在,所以不能删除!如果想删除此目\r"
                                          "标,请添加一个正确的目标后再删除此目标。"),
                                  rtl::Gb("没有选中要删除的目标。"));
    if (e < 0)
        return;
    RemoveSlot(FState.Targets, e, ui->ComboBox2->count());
    RemoveChosenItem(ui->ComboBox2, e);
}

void TForm1::RebuildSiteRows() {
    QSignalBlocker quiet(ui->ListBox1);
    ui->ListBox1->clear();
    for (int i = 0; i < ui->ComboBox1->count() && i <= MaxSiteIndex; ++i) {
        auto* row = new QListWidgetItem(ui->ComboBox1->itemText(i), ui->ListBox1);
        row->setSelected(FState.Sites[static_cast<size_t>(i)].Selected != 0);
    }
    ShowSiteMarks();
    ShowWhatIsWatched();
    RefreshStatusWindow();
}

void TForm1::RebuildTargetRows() {
    QSignalBlocker quiet(ui->ListBox2);
    ui->ListBox2->clear();
    for (int i = 0; i < ui->ComboBox2->count() && i <= MaxTargetIndex; ++i) {
        auto* row = new QListWidgetItem(ui->ComboBox2->itemText(i), ui->ListBox2);
        row->setSelected(FState.Targets[static_cast<size_t>(i)].Selected != 0);
    }
    ShowWhatIsWatched();
}

void TForm1::Button7Click() {
    if (!FSiteEditorOpen)
        return;
    AddSite();
    RebuildSiteRows();
    ui->ListBox1->show();
    ui->Button1->show();
    ui->Button2->show();
    SetShownAndEnabled({ui->ComboBox1, ui->Edit1, ui->Button5, ui->Button6, ui->Button7}, false);
    FSiteEditorOpen = false;
    // The editor's hint is about the editor; it goes with it.
    if (StatusText(1) == rtl::Gb(SiteEditorHint))
        SetStatusText(1, "");
    EndEditing();
}

void TForm1::Button10Click() {
    if (!FTargetEditorOpen)
        return;
    AddTarget();
    RebuildTargetRows();
    ui->ListBox2->show();
    ui->Button3->show();
    ui->Button4->show();
    SetShownAndEnabled({ui->ComboBox2, ui->Button8, ui->Button9, ui->Button10}, false);
    FTargetEditorOpen = false;
    EndEditing();
}

void TForm1::ListBox1Click() {
    std::string tip = rtl::Gb("☆");
    const int rows = ui->ListBox1->count();
    for (int i = 0; i < rows && i <= MaxSiteIndex; ++i) {
        SiteSlot& slot = FState.Sites[static_cast<size_t>(i)];
        if (ui->ListBox1->item(i)->isSelected()) {
            slot.Selected = 1;
            tip += slot.Url + rtl::Gb("☆");
        } else {
            slot.Selected = 0;
        }
    }
    ui->ListBox1->setToolTip(rtl::FromGb(tip));
    ShowSiteMarks();
    ShowWhatIsWatched();
    RefreshStatusWindow();
}

void TForm1::ListBox2Click() {
    const int rows = ui->ListBox2->count();
    for (int i = 0; i < rows && i <= MaxTargetIndex; ++i)
        FState.Targets[static_cast<size_t>(i)].Selected =
            ui->ListBox2->item(i)->isSelected() ? 1 : 0;
    ShowWhatIsWatched();
}

void TForm1::SelectAllRows(QListWidget* list, bool selected) {
    QSignalBlocker quiet(list);
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(selected);
}

void TForm1::Button2Click() {
    SelectAllRows(ui->ListBox1, true);
    ListBox1Click();
}

void TForm1::Button4Click() {
    SelectAllRows(ui->ListBox2, true);
    ListBox2Click();
}

void TForm1::SelectEveryEntry(bool selected) {
    if (EditorOpen())
        return;
    SelectAllRows(ui->ListBox1, selected);
    ListBox1Click();
    SelectAllRows(ui->ListBox2, selected);
    ListBox2Click();
}

void TForm1::A1Click() {
    SelectEveryEntry(true);
}

void TForm1::mnuTrayCleanClick() {
    SelectEveryEntry(false);
}

}  // namespace app
