#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gui/About.h"
#include "app/gui/BringToFront.h"
#include "app/gui/DialogArt.h"
#include "app/gui/ImageList.h"
#include "app/gui/MessageBoxWindow.h"
#include "app/gui/QtDesktopServices.h"
#include "app/gui/SingleInstance.h"
#include "app/gui/Startup.h"
#include "app/gui/Translation.h"
#include "app/gui/TrayIcon.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit2.h"
#include "app/gui/WatchAnnouncer.h"
#include "app/watch/SaveAtExit.h"
#include "app/watch/SeenReport.h"
#include "app/watch/StatusReport.h"
#include "app/watch/WatchState.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"

namespace {

// A termination signal is turned into one byte on this pair, read back in the
// event loop, so the window's own close (with its save) runs outside the handler.
int SignalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    // Nothing useful can be done about a full pipe: one pending byte is enough.
    [[maybe_unused]] ssize_t written = write(SignalPipe[0], &byte, 1);
}

bool InstallSignalPipe() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    return true;
}

// Qt ends the process with abort(), and a core dump, when the platform cannot
// be started while the application object is built: a display that does not
// answer, or one that drops the connection (an X server resetting as its last
// client leaves does that to a client still connecting). Nothing is loaded or
// changed yet at that point, so this says what happened and ends with status 1
// like a missing display does.
void ReportStartFailure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "perchly: the display could not be opened.\n");
    std::fflush(stderr);
    std::_Exit(1);
}

// `perchly --status [--json]` and `perchly --seen [--json]` answer from the
// files alone: no display, no application object, no lock and no hand-over to
// a running copy.
std::optional<int> RunCommandLine(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool status = false;
    bool seen = false;
    for (const std::string& argument : arguments) {
        status = status || argument == "--status";
        seen = seen || argument == "--seen";
    }
    if (!status && !seen)
        return std::nullopt;
    try {
        const rtl::FileFolders folders = rtl::LocateFiles(rtl::ProcessEnvironment());
        // Asked for both, the one that does not know the other's option says so.
        if (seen && !status)
            return app::RunSeenCommand(arguments, folders, stdout, stderr);
        return app::RunStatusCommand(arguments, folders, stdout, stderr);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "perchly: %s\n", error.what());
        return 1;
    }
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = RunCommandLine(argc, argv))
        return *status;
    // Taken before the application object, which takes them for its own window.
    const app::StartupToken startupToken = app::StartupTokenFromEnvironment();
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "perchly: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it from a desktop session, or set QT_QPA_PLATFORM.\n");
        return 1;
    }
    const QtMessageHandler previousHandler = qInstallMessageHandler(ReportStartFailure);
    QApplication application(argc, argv);
    // From here on a fatal error is a fault of the program, worth its core dump.
    qInstallMessageHandler(previousHandler);
    QApplication::setApplicationName("Perchly");
    // No display name: the platform would append it to every window title, and
    // the alert box's caption must read exactly as composed.

    // Ties the windows to the installed desktop entry (its name and icon).
    QGuiApplication::setDesktopFileName(PERCHLY_APP_ID);
    QApplication::setWindowIcon(app::WindowIcon());
    app::LoadQtChinese(application);

    rtl::SetErrorReporter([](const std::string& message) {
        app::TMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                             rtl::FromGb(message), QMessageBox::Ok, QApplication::activeWindow());
        box.setIconPixmap(
            app::DrawMessageIcon(app::MessageIcon::Critical, box.devicePixelRatioF()));
        box.exec();
    });

    const std::optional<rtl::FileFolders> folders = app::PrepareFileFolders();
    if (!folders)
        return 1;
    app::TSingleInstance instance(*folders);
    instance.SetStartupToken(startupToken);
    if (const std::optional<int> status = app::ClaimFolderOrHandOver(instance, *folders))
        return *status;

    // A start while the window is still being built (its leap-day greeting is
    // open) raises that box; the window itself once it is there.
    QPointer<QWidget> mainWindow;
    instance.OnShowRequest = [&mainWindow](const app::StartupToken& token) {
        app::BringToFront(mainWindow, token);
    };
    static app::WatchState state;
    app::QtDesktopServices desktop;
    app::TForm1 form1(state, desktop, *folders);
    mainWindow = &form1;
    app::ArmSaveAtExit(form1.SettingsFile(), state);
    // The start-up copies of the two dialogs stay hidden; the menu commands show
    // fresh ones, so each opening starts from the current state.
    app::TForm2 form2(&form1, state,
                      [&form1](int milliseconds) { form1.Timer1->SetInterval(milliseconds); });
    app::TAboutBox aboutBox(&form1, desktop);

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (InstallSignalPipe()) {
        signalNotifier = std::make_unique<QSocketNotifier>(SignalPipe[1], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &form1, [&form1] {
            char bytes[16];
            [[maybe_unused]] ssize_t got = read(SignalPipe[1], bytes, sizeof bytes);
            form1.close();
        });
    }

    // On X, Qt embeds the icon as soon as a tray appears, so it is made even
    // without one: a session often starts its panel after its other programs.
    std::unique_ptr<app::TTrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable() || QGuiApplication::platformName() == "xcb")
        tray = std::make_unique<app::TTrayIcon>(form1);

    // A broken watch is said on the desktop: by its notification service, else
    // by the tray, else not at all; never by a box that would wait.
    app::TWatchAnnouncer announcer(
        QDBusConnection::sessionBus(), [&tray](const QString& title, const QString& text) {
            if (!tray || !QSystemTrayIcon::supportsMessages() || !tray->Icon().isVisible())
                return false;
            tray->Icon().showMessage(title, text, QSystemTrayIcon::Warning);
            return true;
        });
    form1.OnHealthTurn = [&announcer](const std::string& name, app::HealthTurn turn,
                                      const std::string& reason) {
        announcer.Announce(name, turn, reason);
    };

    form1.show();
    // The main window's close ends the program; a failed save keeps it open.
    QApplication::setQuitOnLastWindowClosed(true);
    const int status = QApplication::exec();
    // The loop ends only after the window's close has saved the lists.
    app::DisarmSaveAtExit();
    return status;
}
