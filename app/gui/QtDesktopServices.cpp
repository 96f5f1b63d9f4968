#include "app/gui/QtDesktopServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

#include "app/gui/WavPlayer.h"
#include "rtl/GbText.h"

namespace app {

DesktopServices::Answer QtDesktopServices::MessageBox(QWidget* owner, const std::string& text,
                                                      const std::string& caption, Buttons buttons,
                                                      Icon icon, DefaultButton defaultButton) {
    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Information,
                    rtl::FromGb(caption), rtl::FromGb(text), QMessageBox::NoButton, owner);
    box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
    if (buttons == Buttons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    } else {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultButton == DefaultButton::No ? QMessageBox::No
                                                                : QMessageBox::Yes);
    }
    int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtDesktopServices::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), rtl::FromGb(text),
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

void QtDesktopServices::ShellOpen(QWidget*, const std::string& target, ShowMode mode) {
    FLastShowMode = mode;
    QString text = rtl::FromGb(target).trimmed();
    if (text.isEmpty())
        return;
    QDesktopServices::openUrl(ShellTargetUrl(text));
}

void QtDesktopServices::PlaySoundSync(const std::string& wavPath) {
    if (PlayWavSync(wavPath) == WavResult::FileMissing)
        QApplication::beep();
}

QDate QtDesktopServices::Today() {
    return QDate::currentDate();
}

}  // namespace app
