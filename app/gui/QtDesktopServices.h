#pragma once

#include <QString>
#include <memory>

#include "app/gui/DesktopServices.h"

class QUrl;

namespace app {

class TMessageBox;

// The real desktop: Qt message boxes, the platform's URL handlers, ALSA sound
// and the system clock.
class QtDesktopServices : public DesktopServices {
public:
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

    // The box MessageBox and AlertBox run, built but not shown, so its buttons,
    // flags and size can be checked without a modal loop.
    static std::unique_ptr<TMessageBox> BuildMessageBox(QWidget* owner, const std::string& text,
                                                        const std::string& caption, Buttons buttons,
                                                        Icon icon, DefaultButton defaultButton);
    static std::unique_ptr<TMessageBox> BuildAlertBox(QWidget* owner, const std::string& text,
                                                      const std::string& caption);

    // The show mode of the last shell open; the desktop decides how to show the
    // document, so the mode is kept only for the record.
    ShowMode LastShowMode() const { return FLastShowMode; }

    // How a shell target becomes a URL: web and mail addresses stay as they are,
    // a path (relative ones against the current folder) becomes a file URL.
    static QUrl ShellTargetUrl(const QString& target);

private:
    ShowMode FLastShowMode = ShowMode::Normal;
};

}  // namespace app
