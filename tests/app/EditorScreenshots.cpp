// Renders the watcher's editor-related windows to PNG files for a visual check:
//   editor_screenshots <folder>
// Runs headless (offscreen platform), so it needs no display.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/About.h"
#include "app/DesktopServices.h"
#include "app/Unit2.h"

namespace {

class NoDesktop : public app::DesktopServices {
public:
    Answer MessageBox(QWidget*, const std::string&, const std::string&, Buttons, Icon,
                      DefaultButton) override {
        return Answer::Ok;
    }
    void ShowMessage(const std::string&) override {}
    int RunModal(QDialog&) override { return 0; }
    void ShellOpen(QWidget*, const std::string&, ShowMode) override {}
    void PlaySoundSync(const std::string&) override {}
    QDate Today() override { return QDate::currentDate(); }
};

bool Save(QWidget& window, const QString& path) {
    window.show();
    QApplication::processEvents();
    const bool saved = window.grab().save(path, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath());
    NoDesktop desktop;
    bool ok = true;

    app::WatchState state;
    state.IntervalSeconds = 10;
    app::TForm2 interval(nullptr, state, [](int) {});
    ok &= Save(interval, folder.filePath("perchly-interval.png"));

    app::TAboutBox about(nullptr, desktop);
    about.setWindowTitle(QString::fromStdString(app::TAboutBox::AboutTitle()));
    ok &= Save(about, folder.filePath("perchly-about.png"));
    return ok ? 0 : 1;
}
