#pragma once

#include <QDate>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/DesktopServices.h"

namespace testsupport {

// A scripted stand-in for the desktop: it records every request and never shows
// or opens anything real. Message boxes take their answers from a queue, then
// from DefaultAnswer; modal dialogs go to OnRunModal (which may operate the
// dialog and return its result), or are rejected at once when it is unset.
class FakeDesktopServices : public app::DesktopServices {
public:
    struct MessageBoxCall {
        std::string Text;  // GB18030, as the program passed it
        std::string Caption;
        Buttons ButtonSet;
        Icon IconKind;
        DefaultButton Default;
        QWidget* Owner;
        Answer Given;  // what the script answered
        bool Alert;    // asked through AlertBox: unprompted, without the focus
    };
    struct SaveFileCall {
        std::string Caption;  // GB18030
        std::string SuggestedPath;
        std::string Filter;
        QWidget* Owner;
    };
    struct ShellOpenCall {
        std::string Target;
        ShowMode Mode;
        QWidget* Owner;
    };

    // Answers handed out to message boxes in order; when empty, DefaultAnswer.
    std::deque<Answer> Answers;
    Answer DefaultAnswer = Answer::No;
    // Runs while a message box is "shown", after the call is recorded, so a test
    // can look at the program's state at that moment (timer, lists, panels).
    std::function<void(const MessageBoxCall&)> OnMessageBox;
    // Operates a dialog passed to RunModal; returns the dialog's result code.
    std::function<int(QDialog&)> OnRunModal;
    // What ShellOpen reports: false plays a desktop without any opener.
    bool ShellOpenWorks = true;
    // Paths handed out to save-file questions in order; when empty, "" (cancelled).
    std::deque<std::string> SaveFileNames;
    // The date Today() reports; a plain day that is no 29 February by default.
    QDate TodayValue = QDate(2001, 3, 14);

    std::vector<MessageBoxCall> MessageBoxes;
    std::vector<std::string> Messages;
    std::vector<std::string> Notices;
    std::vector<ShellOpenCall> ShellOpens;
    std::vector<SaveFileCall> SaveFileDialogs;
    std::vector<std::string> SoundsPlayed;
    std::vector<std::string> ModalDialogs;  // object names of the dialogs run

    Answer MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                      Buttons buttons, Icon icon, DefaultButton defaultButton) override;
    Answer AlertBox(QWidget* owner, const std::string& text, const std::string& caption) override;
    void ShowMessage(const std::string& text) override;
    void ShowNotice(QWidget* owner, const std::string& text) override;
    int RunModal(QDialog& dialog) override;
    bool ShellOpen(QWidget* owner, const std::string& target, ShowMode mode) override;
    void PlaySoundSync(const std::string& wavPath) override;
    QDate Today() override;
    std::string SaveFileName(QWidget* owner, const std::string& caption,
                             const std::string& suggestedPath, const std::string& filter) override;

private:
    bool FAsAlert = false;
};

}  // namespace testsupport
