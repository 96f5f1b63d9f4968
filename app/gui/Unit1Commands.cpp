#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include "app/gui/About.h"
#include "app/gui/CommandWiring.h"
#include "app/gui/Product.h"
#include "app/gui/StatusBar.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit2.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

namespace app {
namespace {

// Puts the watch timer's enabled state back however the modal window ends,
// also when showing it fails.
class TimerStateRestorer {
public:
    explicit TimerStateRestorer(TTimer& timer) : FTimer(timer), FWasEnabled(timer.Enabled()) {
        FTimer.SetEnabled(false);
    }
    ~TimerStateRestorer() { FTimer.SetEnabled(FWasEnabled); }
    TimerStateRestorer(const TimerStateRestorer&) = delete;
    TimerStateRestorer& operator=(const TimerStateRestorer&) = delete;

private:
    TTimer& FTimer;
    bool FWasEnabled;
};

}  // namespace

// The interval dialog and About box commands, the help, mail and home-page
// commands, the banner click and the hover hints (the *MouseMove handlers).
void TForm1::ConnectCommandHandlers() {
    ConnectCommand(ui->mnuTrayTime, this, [this] { mnuTrayTimeClick(); });
    ConnectCommand(ui->mnuTrayAbout, this, [this] { mnuTrayAboutClick(); });
    ConnectCommand(ui->mnuTrayHelp, this, [this] { mnuTrayHelpClick(); });
    ConnectCommand(ui->mnuTrayMail, this, [this] { mnuTrayMailClick(); });
    ConnectCommand(ui->mnuTrayPage, this, [this] { mnuTrayPageClick(); });
    WatchClick(ui->Image1, [this] { Image1Click(); });

    WatchMouseMove(ui->ListBox1, [this](int) { ListBox1MouseMove(); });
    WatchMouseMove(ui->ListBox2, [this](int) { ListBox2MouseMove(); });
    WatchMouseMove(ui->Button1, [this](int) { Button1MouseMove(); });
    WatchMouseMove(ui->Button2, [this](int) { Button2MouseMove(); });
    WatchMouseMove(ui->Button3, [this](int) { Button3MouseMove(); });
    WatchMouseMove(ui->Button4, [this](int) { Button4MouseMove(); });
    WatchMouseMove(ui->Memo1, [this](int) { Memo1MouseMove(); });
    WatchMouseMove(ui->Image1, [this](int) { Image1MouseMove(); });
    WatchMouseMove(ui->Edit1, [this](int) { Edit1MouseMove(); });
    ui->StatusBar1->MouseMove = [this](int x) { StatusBar1MouseMove(x); };
}

// The dialogs keep their own record of the timer's state rather than the
// editors' one, so a dialog opened while an editor is open neither restarts
// monitoring nor changes what the editor's confirm will restore.
void TForm1::mnuTrayTimeClick() {
    TimerStateRestorer restore(*Timer1);
    TForm2 dialog(this, FState, [this](int milliseconds) { Timer1->SetInterval(milliseconds); });
    FDesktop.RunModal(dialog);
}

void TForm1::mnuTrayAboutClick() {
    TimerStateRestorer restore(*Timer1);
    TAboutBox box(this, FDesktop);
    box.setWindowTitle(rtl::FromGb(TAboutBox::AboutTitle()));
    FDesktop.RunModal(box);
}

void TForm1::mnuTrayHelpClick() {
    // A help file of the user's own is opened by its bare name, so the shell
    // looks for it in the current folder; a folder of that name is no help
    // file. Without one, the guide shipped with the program.
    constexpr const char helpFile[] = "Perchly.hlp";
    if (QFileInfo(QString::fromLatin1(helpFile)).isFile()) {
        FDesktop.OpenOrExplain(this, helpFile, DesktopServices::ShowMode::Normal);
        return;
    }
    const std::string guide = FFolders.GuideFile();
    if (QFileInfo(QFile::decodeName(QByteArray::fromStdString(guide))).isFile()) {
        FDesktop.OpenOrExplain(this, rtl::GbFromPath(guide), DesktopServices::ShowMode::Normal);
        return;
    }
    FDesktop.ShowMessage(rtl::Gb("没有找到帮助文档: 当前文件夹里没有 Perchly.hlp, 也没有 ") +
                         rtl::GbFromPath(guide));
}

void TForm1::mnuTrayMailClick() {
    FDesktop.OpenOrExplain(this, FeedbackMailLink, DesktopServices::ShowMode::Normal);
}

void TForm1::mnuTrayPageClick() {
    FDesktop.OpenOrExplain(this, HomePage, DesktopServices::ShowMode::Maximized);
}

void TForm1::Image1Click() {
    FDesktop.OpenOrExplain(this, HomePage, DesktopServices::ShowMode::Maximized);
}

void TForm1::ListBox1MouseMove() {
    SetStatusText(1, rtl::Gb("可用Ctrl(或Shift)+左键或拖拉同时选取多个站点"));
}

void TForm1::ListBox2MouseMove() {
    SetStatusText(1, rtl::Gb("可用Ctrl(或Shift)+左键或拖拉同时选取多个目标"));
}

void TForm1::Button1MouseMove() {
    SetStatusText(1, rtl::Gb("编辑站点"));
}

void TForm1::Button3MouseMove() {
    SetStatusText(1, rtl::Gb("编辑目标"));
}

void TForm1::Button2MouseMove() {
    SetStatusText(1, rtl::Gb("选中所有添加的站点"));
}

void TForm1::Button4MouseMove() {
    SetStatusText(1, rtl::Gb("选中所有添加的目标"));
}

void TForm1::Memo1MouseMove() {
    SetStatusText(1, rtl::Gb("可用快捷键Ctrl+T切换测试栏"));
}

void TForm1::Image1MouseMove() {
    SetStatusText(1, rtl::Gb("单击访问Perchly主页 ") + HomePage + rtl::Gb(",Ctrl+T切换到测试栏"));
}

void TForm1::StatusBar1MouseMove(int x) {
    // The bounds are the right edges of the sound and message panels.
    const int soundEdge = TStatusBar::PanelWidths[0];
    const int messageEdge = soundEdge + TStatusBar::PanelWidths[1];
    if (x < soundEdge)
        SetStatusText(1, rtl::Gb("开启(关闭)声音"));
    else if (x < messageEdge)
        SetStatusText(1, rtl::Gb("单击显示监控信息"));
    else
        SetStatusText(1, rtl::Gb("开始(暂停)监控"));
}

void TForm1::Edit1MouseMove() {
    // The field is narrower than most addresses; the tooltip shows all of it.
    ui->Edit1->setToolTip(ui->Edit1->text());
}

}  // namespace app
