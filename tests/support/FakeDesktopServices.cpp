#include "tests/support/FakeDesktopServices.h"

#include <QDialog>

namespace testsupport {

app::DesktopServices::Answer FakeDesktopServices::MessageBox(QWidget* owner,
                                                             const std::string& text,
                                                             const std::string& caption,
                                                             Buttons buttons, Icon icon,
                                                             DefaultButton defaultButton) {
    Answer answer = DefaultAnswer;
    if (!Answers.empty()) {
        answer = Answers.front();
        Answers.pop_front();
    }
    MessageBoxes.push_back({text, caption, buttons, icon, defaultButton, owner, answer, FAsAlert});
    if (OnMessageBox)
        OnMessageBox(MessageBoxes.back());
    return answer;
}

app::DesktopServices::Answer FakeDesktopServices::AlertBox(QWidget* owner, const std::string& text,
                                                           const std::string& caption) {
    // Recorded like any box (a double may look at MessageBox), marked as the alert.
    FAsAlert = true;
    const Answer answer = DesktopServices::AlertBox(owner, text, caption);
    FAsAlert = false;
    return answer;
}

void FakeDesktopServices::ShowMessage(const std::string& text) {
    Messages.push_back(text);
}

void FakeDesktopServices::ShowNotice(QWidget*, const std::string& text) {
    Notices.push_back(text);
}

int FakeDesktopServices::RunModal(QDialog& dialog) {
    ModalDialogs.push_back(dialog.objectName().toStdString());
    if (OnRunModal)
        return OnRunModal(dialog);
    return QDialog::Rejected;
}

bool FakeDesktopServices::ShellOpen(QWidget* owner, const std::string& target, ShowMode mode) {
    ShellOpens.push_back({target, mode, owner});
    return ShellOpenWorks;
}

void FakeDesktopServices::PlaySoundSync(const std::string& wavPath) {
    SoundsPlayed.push_back(wavPath);
}

QDate FakeDesktopServices::Today() {
    return TodayValue;
}

std::string FakeDesktopServices::SaveFileName(QWidget* owner, const std::string& caption,
                                              const std::string& suggestedPath,
                                              const std::string& filter) {
    SaveFileDialogs.push_back({caption, suggestedPath, filter, owner});
    if (SaveFileNames.empty())
        return {};
    std::string path = SaveFileNames.front();
    SaveFileNames.pop_front();
    return path;
}

}  // namespace testsupport
