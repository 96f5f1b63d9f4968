#include "app/gui/Unit1.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolTip>

#include "app/gui/ImageList.h"
#include "app/gui/Product.h"
#include "app/watch/Settings.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

#include "net/NMHttp.h"

namespace app {
namespace {

// The window is laid out in pixels for a 12-pixel CJK font; pick the closest
// installed family so the captions neither clip nor fall back to boxes.
QFont WindowFont() {
    const QStringList installed = QFontDatabase::families();
    QString chosen;
    for (const char* family : {"宋体", "SimSun", "NSimSun", "WenQuanYi Micro Hei",
                               "Noto Sans CJK SC", "AR PL UMing CN"}) {
        if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive)) {
            chosen = QString::fromUtf8(family);
            break;
        }
    }
    QFont font = chosen.isEmpty() ? QApplication::font() : QFont(chosen);
    font.setPixelSize(12);
    return font;
}

QWidget* MouseTarget(QWidget* widget) {
    // Scroll areas deliver mouse events to their viewport, not to themselves.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        return area->viewport();
    return widget;
}

}  // namespace

TForm1::TForm1(WatchState& state, DesktopServices& desktop, const std::string& folder,
               QWidget* parent)
    : TForm1(state, desktop, rtl::PortableFolders(folder), parent) {}

TForm1::TForm1(WatchState& state, DesktopServices& desktop, rtl::FileFolders folders,
               QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TForm1>()),
      Timer1(std::make_unique<TTimer>()),
      FState(state),
      FDesktop(desktop),
      FFolders(std::move(folders)) {
    ui->setupUi(this);
    // The watch timer runs with a 10-second interval from the moment the window is
    // built; the load then sets its real state.
    Timer1->SetInterval(10000);
    Timer1->SetEnabled(true);
    NMHTTP1.reset(new net::TNMHTTP());

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(WindowIcon());
    ApplyWindowFont();

    ui->Image1->setToolTip(QString::fromUtf8("访问Perchly主页: ") + QString::fromUtf8(HomePage));
    QPalette memoPalette = ui->Memo1->palette();
    memoPalette.setColor(QPalette::Base, QApplication::palette("QMenu").color(QPalette::Window));
    ui->Memo1->setPalette(memoPalette);
    ui->mnuTrayStart->setIcon(MenuIcon(MenuImage::StartImmediately));
    ui->mnuTraySound->setIcon(MenuIcon(MenuImage::SoundOn));
    ui->mnuTraySound->setChecked(true);
    ui->mnuTrayStart->setChecked(true);
    ui->N4->setChecked(true);

    SetStatusText(0, rtl::Gb("声音打开"));
    SetStatusText(2, rtl::Gb("正在监控"));

    BuildContextMenus();
    ConnectSwitchHandlers();
    ConnectCycleHandlers();
    ConnectLinkHandlers();
    ConnectEditorHandlers();
    ConnectCommandHandlers();
    ConnectHealthHandlers();

    // Client area 441 x 285 below the menu bar, fixed, centred on the screen.
    ui->centralwidget->setFixedSize(441, 285);
    setFixedSize(441, 285 + menuBar()->sizeHint().height());
    if (QScreen* screen = QApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    OpenHealth();
    FormCreate();
}

TForm1::~TForm1() {
    // What the last checks left pending goes to the database before it closes.
    if (FHealth)
        FHealth->Close(WallClock());
}

void TForm1::TNMHTTPDeleter::operator()(net::TNMHTTP* client) const {
    delete client;
}

void TForm1::ApplyWindowFont() {
    QFont font = WindowFont();
    setFont(font);
    // Menus and tooltips are windows of their own and do not inherit the font.
    for (QMenu* menu : findChildren<QMenu*>())
        menu->setFont(font);
    QToolTip::setFont(font);
}

void TForm1::BuildContextMenus() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    N2 = PopupMenu1->addAction(MenuIcon(MenuImage::StartMonitoring),
                               QString::fromUtf8("开始监控(&Y)"));
    N2->setObjectName("N2");
    N3 = PopupMenu1->addAction(MenuIcon(MenuImage::PauseMonitoring),
                               QString::fromUtf8("暂停监控(&Y)"));
    N3->setObjectName("N3");
    N0 = PopupMenu1->addAction(MenuIcon(MenuImage::SoundOn), QString::fromUtf8("打开声音(&T)"));
    N0->setObjectName("N0");
    N1 = PopupMenu1->addAction(MenuIcon(MenuImage::SoundOff), QString::fromUtf8("关闭声音(&T)"));
    N1->setObjectName("N1");
    PopupMenu1->setFont(font());

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName("PopupMenu2");
    C1 =
        PopupMenu2->addAction(MenuIcon(MenuImage::ClearAll), QString::fromUtf8("取消所有选择(&C)"));
    C1->setObjectName("C1");
    C1->setShortcut(QKeySequence("Ctrl+C"));
    C1->setShortcutContext(Qt::WidgetShortcut);
    A1 = PopupMenu2->addAction(MenuIcon(MenuImage::SelectAll), QString::fromUtf8("选择所有(&Y)"));
    A1->setObjectName("A1");
    A1->setShortcut(QKeySequence("Ctrl+Y"));
    // Ctrl+Y works anywhere in the window, like the menu it comes from.
    addAction(A1);
    PopupMenu2->setFont(font());

    connect(ui->Image1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ui->Image1->mapToGlobal(at)); });
    for (QListWidget* list : {ui->ListBox1, ui->ListBox2}) {
        connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
            PopupMenu2->popup(list->viewport()->mapToGlobal(at));
        });
    }
}

void TForm1::SetStatusText(int panel, const std::string& gbText) {
    ui->StatusBar1->SetPanelText(panel, rtl::FromGb(gbText));
}

std::string TForm1::StatusText(int panel) const {
    return rtl::ToGb(ui->StatusBar1->PanelText(panel));
}

void TForm1::WatchMouseMove(QWidget* widget, std::function<void(int x)> handler) {
    QWidget* target = MouseTarget(widget);
    target->setMouseTracking(true);
    target->installEventFilter(this);
    FMouseMoveHandlers[target] = std::move(handler);
}

void TForm1::WatchClick(QWidget* widget, std::function<void()> handler) {
    QWidget* target = MouseTarget(widget);
    target->installEventFilter(this);
    FClickHandlers[target] = std::move(handler);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        auto found = FMouseMoveHandlers.find(watched);
        if (found != FMouseMoveHandlers.end() && found->second) {
            int x = static_cast<int>(static_cast<QMouseEvent*>(event)->position().x());
            rtl::SafeCall([&] { found->second(x); });
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto found = FClickHandlers.find(watched);
        if (mouse->button() == Qt::LeftButton && found != FClickHandlers.end() && found->second)
            rtl::SafeCall([&] { found->second(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormCreate() {
    QPalette tips = QToolTip::palette();
    tips.setColor(QPalette::ToolTipBase, QColor(221, 238, 255));
    tips.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(tips);

    ShowLeapDayGreeting();
    setWindowTitle(QString::fromUtf8(ProductVersion));

    StartupSwitches switches = LoadSettings(SettingsFile(), FState);

    // The slots in use are contiguous from 0, so row r is slot r. Rows selected
    // here are no user's click and must not reach the selection copies.
    QSignalBlocker quietTargets(ui->ListBox2);
    QSignalBlocker quietSites(ui->ListBox1);
    for (int n = 0; n <= MaxTargetIndex; ++n) {
        const TargetSlot& slot = FState.Targets[static_cast<size_t>(n)];
        if (slot.Name.empty())
            continue;
        auto* row = new QListWidgetItem(rtl::FromGb(slot.Name), ui->ListBox2);
        row->setSelected(slot.Selected == 1);
    }
    for (int n = 0; n <= MaxSiteIndex; ++n) {
        const SiteSlot& slot = FState.Sites[static_cast<size_t>(n)];
        if (slot.Name.empty())
            continue;
        auto* row = new QListWidgetItem(rtl::FromGb(slot.Name), ui->ListBox1);
        row->setSelected(slot.Selected == 1);
    }

    ui->mnuTraySound->setChecked(FState.SoundOn);
    ShowSoundState();

    ui->mnuTrayStart->setChecked(switches.AutoUp);
    if (switches.AutoUp) {
        ui->mnuTrayPause->setText(QString::fromUtf8("暂停监控"));
        Timer1->SetEnabled(true);
        SetStatusText(2, rtl::Gb("正在监控"));
    } else {
        ui->mnuTrayPause->setText(QString::fromUtf8("开始监控"));
        Timer1->SetEnabled(false);
        SetStatusText(2, rtl::Gb("暂停监控"));
    }

    Timer1->SetInterval(FState.IntervalSeconds * 1000);
    ui->N4->setChecked(switches.AutoMin);
    ShowSiteMarks();
    ShowWhatIsWatched();
}

void TForm1::ShowLeapDayGreeting() {
    QDate today = FDesktop.Today();
    if (today.month() != 2 || today.day() != 29)
        return;
    DesktopServices::Answer answer = FDesktop.MessageBox(
        this,
        rtl::Gb("今天是2月29日,四年才有一次的日子,也是作者的生日!\r\n要不要写封信祝他生日快乐?"),
        rtl::Gb("生日快乐"), DesktopServices::Buttons::YesNo, DesktopServices::Icon::Question);
    if (answer == DesktopServices::Answer::Yes)
        FDesktop.OpenOrExplain(this, FeedbackMailLink, DesktopServices::ShowMode::Normal);
}

void TForm1::ShowSoundState() {
    if (FState.SoundOn) {
        SetStatusText(0, rtl::Gb("声音打开"));
        ui->mnuTraySound->setIcon(MenuIcon(MenuImage::SoundOn));
    } else {
        SetStatusText(0, rtl::Gb("声音关闭"));
        ui->mnuTraySound->setIcon(MenuIcon(MenuImage::SoundOff));
    }
    if (OnStateShown)
        OnStateShown();
}

bool TForm1::FormClose() {
    // Ends a fetch that is waiting inside a watch cycle; that cycle then takes
    // its failure path.
    if (NMHTTP1) {
        NMHTTP1->Abort();
        NMHTTP1->Disconnect();
    }
    Timer1->SetEnabled(false);
    try {
        SaveWatchLists(SettingsFile(), FState);
    } catch (const std::exception& error) {
        // Nothing may be lost: the window stays open so the user can retry.
        rtl::ReportException(error);
        return false;
    }
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool closed = false;
    rtl::SafeCall([&] { closed = FormClose(); });
    if (closed)
        event->accept();
    else
        event->ignore();
}

}  // namespace app
