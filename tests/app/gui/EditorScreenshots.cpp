// Renders the watcher's editor-related windows to PNG files for a visual check:
//   editor_screenshots <folder>
// Runs headless (offscreen platform), so it needs no display.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gui/About.h"
#include "app/gui/DesktopServices.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit1Ui.h"
#include "app/gui/Unit2.h"
#include "rtl/GbText.h"

namespace {

class NoDesktop : public app::DesktopServices {
public:
    Answer MessageBox(QWidget*, const std::string&, const std::string&, Buttons, Icon,
                      DefaultButton) override {
        return Answer::Ok;
    }
    void ShowMessage(const std::string&) override {}
    void ShowNotice(QWidget*, const std::string&) override {}
    int RunModal(QDialog&) override { return 0; }
    bool ShellOpen(QWidget*, const std::string&, ShowMode) override { return true; }
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

    // The main window with both list editors open, over a temporary folder so
    // no settings file of the user's is read or written.
    const QString scratch = QDir::temp().filePath("perchly-screenshot");
    QDir(scratch).removeRecursively();
    QDir().mkpath(scratch);
    {
        app::WatchState mainState;
        app::TForm1 form(mainState, desktop, scratch.toStdString() + "/");
        form.show();
        form.ui->Button3->click();
        form.ui->ComboBox2->setEditText(QString::fromUtf8("阿明"));
        form.ui->Button8->click();
        form.ui->Button1->click();
        form.ui->ComboBox1->setEditText(QString::fromUtf8("大厅聊天室"));
        form.ui->Edit1->setText("http://chat.example.net/lobby/who.html");
        form.ui->Button5->click();
        ok &= Save(form, folder.filePath("perchly-editors.png"));
        form.ui->Button7->click();
        form.ui->Button10->click();
        ok &= Save(form, folder.filePath("perchly-lists.png"));
        form.hide();
    }
    QDir(scratch).removeRecursively();
    return ok ? 0 : 1;
}
