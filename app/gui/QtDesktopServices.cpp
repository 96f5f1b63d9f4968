#include "app/gui/QtDesktopServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include "app/gui/DialogArt.h"
#include "app/gui/MessageBoxWindow.h"
#include "app/gui/WavPlayer.h"
#include "rtl/GbText.h"

namespace app {

std::unique_ptr<TMessageBox> QtDesktopServices::BuildMessageBox(QWidget* owner,
                                                                const std::string& text,
                                                                const std::string& caption,
                                                                Buttons buttons, Icon icon,
                                                                DefaultButton defaultButton) {
    auto box = std::make_unique<TMessageBox>(QMessageBox::NoIcon, rtl::FromGb(caption),
                                             rtl::FromGb(text), QMessageBox::NoButton, owner);
    box->setWindowFlags(box->windowFlags() | Qt::WindowStaysOnTopHint);
    // The style's icons are small bitmaps, blurred when the screen is scaled.
    const qreal ratio = owner != nullptr ? owner->devicePixelRatioF() : qApp->devicePixelRatio();
    box->setIconPixmap(DrawMessageIcon(
        icon == Icon::Question ? MessageIcon::Question : MessageIcon::Information, ratio));
    if (buttons == Buttons::Ok) {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    } else {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(defaultButton == DefaultButton::No ? QMessageBox::No
                                                                 : QMessageBox::Yes);
    }
    return box;
}

std::unique_ptr<TMessageBox> QtDesktopServices::BuildAlertBox(QWidget* owner,
                                                              const std::string& text,
                                                              const std::string& caption) {
    std::unique_ptr<TMessageBox> box =
        BuildMessageBox(owner, text, caption, Buttons::YesNo, Icon::Information, DefaultButton::No);
    box->ShowWithoutFocus();
    return box;
}

namespace {

DesktopServices::Answer Run(TMessageBox& box, DesktopServices::Buttons buttons) {
    const int result = box.exec();
    if (buttons == DesktopServices::Buttons::Ok)
        return DesktopServices::Answer::Ok;
    return result == QMessageBox::Yes ? DesktopServices::Answer::Yes : DesktopServices::Answer::No;
}

}  // namespace

DesktopServices::Answer QtDesktopServices::MessageBox(QWidget* owner, const std::string& text,
                                                      const std::string& caption, Buttons buttons,
                                                      Icon icon, DefaultButton defaultButton) {
    return Run(*BuildMessageBox(owner, text, caption, buttons, icon, defaultButton), buttons);
}

DesktopServices::Answer QtDesktopServices::AlertBox(QWidget* owner, const std::string& text,
                                                    const std::string& caption) {
    return Run(*BuildAlertBox(owner, text, caption), Buttons::YesNo);
}

void QtDesktopServices::ShowMessage(const std::string& text) {
    TMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), rtl::FromGb(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void QtDesktopServices::ShowNotice(QWidget* owner, const std::string& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationName(),
                                rtl::FromGb(text), QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

int QtDesktopServices::RunModal(QDialog& dialog) {
    return dialog.exec();
}

QUrl QtDesktopServices::ShellTargetUrl(const QString& target) {
    // A scheme of two or more letters ("http:", "mailto:") marks an address;
    // a single letter would be a drive, which this platform does not have.
    static const QRegularExpression scheme("^[A-Za-z][A-Za-z0-9+.-]+:");
    if (scheme.match(target).hasMatch())
        return QUrl(target);
    return QUrl::fromLocalFile(QFileInfo(QDir::current(), target).absoluteFilePath());
}

bool QtDesktopServices::ShellOpen(QWidget*, const std::string& target, ShowMode mode) {
    FLastShowMode = mode;
    QString text = rtl::FromGb(target).trimmed();
    if (text.isEmpty())
        return true;  // nothing to open, so nothing failed
    // False when no program (xdg-open, a browser) could be started for it.
    return QDesktopServices::openUrl(ShellTargetUrl(text));
}

void QtDesktopServices::PlaySoundSync(const std::string& wavPath) {
    if (PlayWavSync(wavPath) == WavResult::FileMissing)
        QApplication::beep();
}

QDate QtDesktopServices::Today() {
    return QDate::currentDate();
}

std::string QtDesktopServices::SaveFileName(QWidget* owner, const std::string& caption,
                                            const std::string& suggestedPath,
                                            const std::string& filter) {
    // The dialog asks before it replaces a file that is already there.
    const QString chosen = QFileDialog::getSaveFileName(
        owner, rtl::FromGb(caption), QFile::decodeName(QByteArray::fromStdString(suggestedPath)),
        rtl::FromGb(filter));
    if (chosen.isEmpty())
        return {};
    return QFile::encodeName(chosen).toStdString();
}

}  // namespace app
