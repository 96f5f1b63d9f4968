#pragma once

#include <QDate>
#include <string>

class QDialog;
class QWidget;

namespace app {

// Everything the watcher asks of the desktop goes through this one interface:
// message boxes, the plain message dialog, modal dialogs, the shell, the sound
// and today's date. The forms receive it; tests hand in a scripted double, so no
// real blocking box ever appears under test. All texts are GB18030 bytes.
class DesktopServices {
public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { Information, Question };
    enum class DefaultButton { First, No };
    enum class Answer { Ok, Yes, No };
    enum class ShowMode { Normal, Maximized };

    virtual ~DesktopServices() = default;

    // A system message box owned by `owner`, top-most.
    virtual Answer MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                              Buttons buttons, Icon icon,
                              DefaultButton defaultButton = DefaultButton::First) = 0;

    // The watch cycle's alert: a Yes/No question with the information icon
    // that appears on its own while the user may be typing elsewhere. No is
    // the default, so a stray Return keeps the watch. A desktop that can, shows
    // it top-most without taking the keyboard; this fallback shows an ordinary
    // box.
    virtual Answer AlertBox(QWidget* owner, const std::string& text, const std::string& caption) {
        return MessageBox(owner, text, caption, Buttons::YesNo, Icon::Information,
                          DefaultButton::No);
    }

    // The application's plain message dialog: OK button, the application title as caption.
    virtual void ShowMessage(const std::string& text) = 0;

    // A message that waits for no answer: shown beside the window, owned by
    // `owner`, while everything (monitoring included) goes on.
    virtual void ShowNotice(QWidget* owner, const std::string& text) = 0;

    // Runs a dialog modally and returns its result code (QDialog::Accepted or Rejected).
    virtual int RunModal(QDialog& dialog) = 0;

    // Opens a document, web address or mail link with its default action.
    // False when the desktop has no program to hand it to; once handed over,
    // that program reports its own failures.
    virtual bool ShellOpen(QWidget* owner, const std::string& target, ShowMode mode) = 0;

    // ShellOpen, and when nothing could take the target, a plain message that
    // says so, rather than a click that does nothing.
    void OpenOrExplain(QWidget* owner, const std::string& target, ShowMode mode);

    // Plays a WAV file and returns when it has ended. A missing file plays the
    // system's default sound; a machine without audio plays nothing, silently.
    virtual void PlaySoundSync(const std::string& wavPath) = 0;

    virtual QDate Today() = 0;

    // Asks where to save a file: a path as the file system spells it (the
    // locale's bytes), "" when the user cancelled. suggestedPath is spelt the
    // same way; caption and filter ("CSV 文件 (*.csv)") are GB18030 text. A
    // desktop that cannot ask answers "", as a cancel.
    virtual std::string SaveFileName(QWidget* /*owner*/, const std::string& /*caption*/,
                                     const std::string& /*suggestedPath*/,
                                     const std::string& /*filter*/) {
        return {};
    }
};

}  // namespace app
