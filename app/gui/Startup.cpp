#include "app/gui/Startup.h"

#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/gui/DialogArt.h"
#include "app/gui/MessageBoxWindow.h"
#include "app/gui/SingleInstance.h"
#include "rtl/Exceptions.h"

namespace app {
namespace {

void ShowStartFailure(const QString& text) {
    std::fprintf(stderr, "perchly: %s\n", qPrintable(text));
    // On a platform that shows nothing a box could never be answered.
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal")
        return;
    TMessageBox box(QMessageBox::NoIcon, QStringLiteral("Perchly"), text, QMessageBox::Ok);
    box.setIconPixmap(DrawMessageIcon(MessageIcon::Critical, box.devicePixelRatioF()));
    box.exec();
}

QString Path(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

std::optional<rtl::FileFolders> PrepareFileFolders() {
    rtl::FileFolders folders;
    try {
        folders = rtl::LocateFiles(rtl::ProcessEnvironment());
        rtl::PrepareSettingsFolder(folders);
    } catch (const rtl::Exception& error) {
        // The reason names the folder it concerns.
        ShowStartFailure(QString::fromUtf8("无法使用设置文件夹:\n%1\n\n"
                                           "Perchly 在这个文件夹里保存站点和目标列表. "
                                           "请检查它的权限, 或用 XDG_CONFIG_HOME 指定另一个文件夹.")
                             .arg(QString::fromLocal8Bit(error.Message())));
        return std::nullopt;
    }
    return folders;
}

std::optional<int> ClaimFolderOrHandOver(TSingleInstance& instance,
                                         const rtl::FileFolders& folders) {
    switch (instance.ClaimFolder()) {
        case TSingleInstance::Claim::First:
            return std::nullopt;
        case TSingleInstance::Claim::Unguarded:
            // A folder that takes no lock file takes no settings either; the
            // save reports that when it happens, as it always has.
            std::fprintf(stderr, "perchly: cannot lock %s; a second copy would not be noticed\n",
                         folders.LockFile().c_str());
            return std::nullopt;
        case TSingleInstance::Claim::HandedOver:
            return 0;
        case TSingleInstance::Claim::NoAnswer:
            break;
    }
    ShowStartFailure(QString::fromUtf8("Perchly 已经在运行(进程 %1), 使用同一个设置文件夹 %2, "
                                       "但是没有响应.\n请先关闭那个 Perchly, 再重新启动.")
                         .arg(instance.HolderPid())
                         .arg(Path(folders.Settings)));
    return 1;
}

}  // namespace app
