#include <QAction>
#include <QMenu>

#include "app/gui/CommandWiring.h"
#include "app/gui/ImageList.h"
#include "app/gui/Unit1.h"
#include "app/watch/Settings.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

namespace app {
namespace {

// Checkable menu items flip their own check mark before they report the click,
// while the handlers invert it themselves (they are also reached from the status
// bar and the banner menu). Undo the item's flip, then run the handler, whose
// failures go to the error report like any user command's.
void ConnectToggle(QAction* item, std::function<void()> handler) {
    QObject::connect(item, &QAction::triggered, item, [item, handler = std::move(handler)] {
        item->setChecked(!item->isChecked());
        rtl::SafeCall(handler);
    });
}

}  // namespace

void TForm1::ConnectSwitchHandlers() {
    ConnectCommand(ui->mnuTrayPause, this, [this] { mnuTrayPauseClick(); });
    ConnectCommand(N2, this, [this] { mnuTrayPauseClick(); });
    ConnectCommand(N3, this, [this] { mnuTrayPauseClick(); });
    ConnectCommand(N0, this, [this] { mnuTraySoundClick(); });
    ConnectCommand(N1, this, [this] { mnuTraySoundClick(); });
    ConnectToggle(ui->mnuTraySound, [this] { mnuTraySoundClick(); });
    ConnectToggle(ui->mnuTrayStart, [this] { mnuTrayStartClick(); });
    ConnectToggle(ui->N4, [this] { N4Click(); });
    ConnectCommand(ui->T1, this, [this] { T1Click(); });
    ConnectCommand(ui->mnuTrayExit, this, [this] { mnuTrayExitClick(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this,
            [this] { rtl::SafeCall([this] { PopupMenu1Popup(); }); });
    ui->StatusBar1->MouseDown = [this](int x) { StatusBar1MouseDown(x); };
}

void TForm1::mnuTrayPauseClick() {
    if (Timer1->Enabled()) {
        SetStatusText(2, rtl::Gb("暂停监控"));
        ui->mnuTrayPause->setText(QString::fromUtf8("开始监控(&Y)"));
        Timer1->SetEnabled(false);
    } else {
        ui->mnuTrayPause->setText(QString::fromUtf8("暂停监控(&Y)"));
        Timer1->SetEnabled(true);
        SetStatusText(2, rtl::Gb("正在监控"));
        if (ui->N4->isChecked())
            setWindowState(windowState() | Qt::WindowMinimized);
    }
    if (OnStateShown)
        OnStateShown();
}

bool TForm1::MonitoringShown() const {
    return StatusText(2) == rtl::Gb("正在监控");
}

void TForm1::mnuTraySoundClick() {
    ui->mnuTraySound->setChecked(!ui->mnuTraySound->isChecked());
    FState.SoundOn = ui->mnuTraySound->isChecked();
    WriteSwitch(SettingsFile(), "Sound", FState.SoundOn);
    ShowSoundState();
}

void TForm1::mnuTrayStartClick() {
    ui->mnuTrayStart->setChecked(!ui->mnuTrayStart->isChecked());
    WriteSwitch(SettingsFile(), "AutoUp", ui->mnuTrayStart->isChecked());
}

void TForm1::N4Click() {
    ui->N4->setChecked(!ui->N4->isChecked());
    WriteSwitch(SettingsFile(), "AutoMin", ui->N4->isChecked());
}

void TForm1::T1Click() {
    ui->Memo1->setVisible(ui->Memo1->isHidden());
    if (!ui->Memo1->isHidden()) {
        ShowTestPanelText();
        ui->T1->setText(QString::fromUtf8("隐藏测试结果(&V)"));
        ui->GroupBox3->hide();
    } else {
        ui->T1->setText(QString::fromUtf8("查看测试状态(&V)"));
        ui->GroupBox3->show();
    }
}

void TForm1::mnuTrayExitClick() {
    close();
}

void TForm1::StatusBar1MouseDown(int x) {
    if (x < 52)
        mnuTraySoundClick();
    else if (x <= 385)
        T1Click();
    else
        mnuTrayPauseClick();
}

void TForm1::PopupMenu1Popup() {
    bool running = Timer1->Enabled();
    bool soundChecked = ui->mnuTraySound->isChecked();
    N2->setVisible(!running);
    N3->setVisible(running);
    // An open list editor holds monitoring paused until it is confirmed.
    N2->setEnabled(!EditorOpen());
    N3->setEnabled(!EditorOpen());
    N0->setVisible(!soundChecked);
    N1->setVisible(soundChecked);
}

}  // namespace app
