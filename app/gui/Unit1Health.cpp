#include <QAction>
#include <QDateTime>
#include <QListWidget>
#include <QTimer>
#include <cstdio>

#include "app/gui/CommandWiring.h"
#include "app/gui/HealthMarks.h"
#include "app/gui/RowToolTips.h"
#include "app/gui/SeenRecordsWindow.h"
#include "app/gui/SiteStatusWindow.h"
#include "app/gui/Unit1.h"
#include "app/watch/FetchReason.h"
#include "app/watch/HealthText.h"
#include "app/watch/PresenceText.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

namespace app {
namespace {

bool AnySelected(const auto& list) {
    for (const auto& slot : list)
        if (slot.Selected != 0 && !slot.Name.empty())
            return true;
    return false;
}

}  // namespace

void TForm1::ConnectHealthHandlers() {
    ConnectCommand(ui->mnuTrayStatus, this, [this] { mnuTrayStatusClick(); });
    ConnectCommand(ui->mnuSeenRecords, this, [this] { mnuSeenRecordsClick(); });
    // A mark as small as the row's text, before the name.
    ui->ListBox1->setIconSize(QSize(10, 10));
    // The rows' tooltips are made when the mouse rests on a row, so their
    // "3 分钟前" is never stale and a check pays only for the marks.
    new TRowToolTips(ui->ListBox1, [this](int row) { return SiteRowTip(row); });
    new TRowToolTips(ui->ListBox2,
                     [this](int row) { return rtl::FromGb(TargetSightingText(row)); });
}

void TForm1::OpenHealth() {
    if (!WallClock)
        WallClock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    FHealth = std::make_unique<THealthKeeper>(FFolders.HealthFile());
    FHealth->OnProblem = [this](const std::string& message) {
        std::fprintf(stderr, "perchly: %s\n", rtl::FromGb(message).toLocal8Bit().constData());
        // Shown once the window is up, and waiting for nobody.
        QTimer::singleShot(0, this, [this, message] { FDesktop.ShowNotice(this, message); });
    };
    FHealth->Open(WallClock());
}

void TForm1::RecordCheck(const SiteSlot& site, const FetchOutcome& outcome,
                         const PresenceCheck* presence) {
    const HealthTurn turn = FHealth->Record(site.Url, site.Name, outcome, WallClock(), presence);
    ShowSiteMarks();
    RefreshStatusWindow();
    if (OnStateShown)
        OnStateShown();
    if (turn != HealthTurn::None && OnHealthTurn)
        OnHealthTurn(site.Name, turn, ReasonSentence(outcome));
}

void TForm1::ShowSiteMarks() {
    if (!FHealth)
        return;
    // Row r is slot r. A mark is set only when it changes: each setting
    // makes the list lay out and paint its rows again.
    const int rows = ui->ListBox1->count();
    for (int row = 0; row < rows && row <= MaxSiteIndex; ++row) {
        const SiteSlot& slot = FState.Sites[static_cast<size_t>(row)];
        const SiteHealth* health = slot.Url.empty() ? nullptr : FHealth->Book().Find(slot.Url);
        const QIcon mark = HealthMark(StateOf(health));
        QListWidgetItem* item = ui->ListBox1->item(row);
        if (item->icon().cacheKey() != mark.cacheKey())
            item->setIcon(mark);
    }
}

QString TForm1::SiteRowTip(int row) const {
    if (!FHealth || row < 0 || row > MaxSiteIndex || row >= ui->ListBox1->count())
        return {};
    const SiteSlot& slot = FState.Sites[static_cast<size_t>(row)];
    const SiteHealth* health = slot.Url.empty() ? nullptr : FHealth->Book().Find(slot.Url);
    std::string tip = HealthStateText(health);
    if (health && health->Last) {
        tip += rtl::Gb(", 上次检查 ") + CheckTimeText(health->Last->TimeUtcMs, WallClock());
        if (!health->Last->Sentence.empty())
            tip += "\n" + health->Last->Sentence;
    }
    // The list's own hint (the selected addresses) stays reachable under each row's.
    const QString listTip = ui->ListBox1->toolTip();
    return rtl::FromGb(tip) + (listTip.isEmpty() ? QString() : "\n" + listTip);
}

std::string TForm1::SiteNameOf(const std::string& url) const {
    for (const SiteSlot& slot : FState.Sites)
        if (!slot.Name.empty() && slot.Url == url)
            return slot.Name;
    if (const SiteHealth* health = FHealth ? FHealth->Book().Find(url) : nullptr)
        return health->Name;
    return url;
}

std::string TForm1::TargetSightingText(int row) const {
    if (!FHealth || row < 0 || row > MaxTargetIndex)
        return {};
    const std::string& name = FState.Targets[static_cast<size_t>(row)].Name;
    if (name.empty())
        return {};
    const PresenceSpan* span = FHealth->Presence().LastSeen(name);
    return LastSeenText(span, span ? SiteNameOf(span->Url) : std::string(), WallClock());
}

TForm1::WatchSummary TForm1::Summary() const {
    WatchSummary summary;
    summary.TargetSelected = AnySelected(FState.Targets);
    summary.SiteSelected = AnySelected(FState.Sites);
    for (const SiteSlot& slot : FState.Sites) {
        if (slot.Name.empty() || slot.Selected == 0 || slot.Url.empty())
            continue;
        ++summary.Sites;
        const HealthState state = StateOf(FHealth ? FHealth->Book().Find(slot.Url) : nullptr);
        if (state == HealthState::Failing || state == HealthState::Broken)
            ++summary.Failing;
    }
    return summary;
}

std::string TForm1::NothingWatchedText() const {
    const WatchSummary summary = Summary();
    if (!summary.SiteSelected && !summary.TargetSelected)
        return rtl::Gb("没有选中的站点和目标: 什么也没有监控");
    if (!summary.SiteSelected)
        return rtl::Gb("没有选中的站点: 什么也没有监控");
    if (!summary.TargetSelected)
        return rtl::Gb("没有选中的目标: 什么也没有监控");
    return {};
}

void TForm1::ShowWhatIsWatched() {
    const std::string nothing = NothingWatchedText();
    if (!nothing.empty()) {
        SetStatusText(1, nothing);
        FNothingWatchedShown = true;
    } else if (FNothingWatchedShown) {
        // The text is taken back only where it still stands.
        if (StatusText(1).find(rtl::Gb(": 什么也没有监控")) != std::string::npos)
            SetStatusText(1, "");
        FNothingWatchedShown = false;
    }
    if (OnStateShown)
        OnStateShown();
}

void TForm1::mnuTrayStatusClick() {
    if (!FStatusWindow)
        FStatusWindow = new TSiteStatusWindow(*this);
    auto* window = static_cast<TSiteStatusWindow*>(FStatusWindow.data());
    window->Refresh();
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::RefreshStatusWindow() {
    if (auto* window = static_cast<TSiteStatusWindow*>(FStatusWindow.data()))
        window->Refresh();
}

QWidget* TForm1::StatusWindow() const {
    return FStatusWindow.data();
}

void TForm1::mnuSeenRecordsClick() {
    auto* window = static_cast<TSeenRecordsWindow*>(FSeenWindow.data());
    if (!window) {
        // A new window reads the records as it is made.
        window = new TSeenRecordsWindow(*FHealth, FDesktop, this);
        window->SetDatabasePath(FFolders.HealthFile());
        FSeenWindow = window;
    } else {
        window->Refresh();
    }
    window->show();
    window->raise();
    window->activateWindow();
}

QWidget* TForm1::SeenWindow() const {
    return FSeenWindow.data();
}

}  // namespace app
