#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "app/gui/Unit1.h"
#include "app/watch/CertificateAdvice.h"
#include "app/watch/LcgRandom.h"
#include "app/watch/PromptFile.h"
#include "app/watch/TargetPresence.h"
#include "app/watch/UrlPort.h"
#include "rtl/ErrorReport.h"
#include "rtl/Exceptions.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

#include "net/NMHttp.h"

namespace app {

namespace {
// The test panel is a Qt text box, which breaks lines at line feeds only; a
// page's CR LF and lone CR would otherwise show as extra blank lines.
QString PanelText(std::string_view gbText) {
    QString text = rtl::FromGb(gbText);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

bool AnyWatched(const auto& list) {
    for (const auto& slot : list)
        if (slot.Selected != 0)
            return true;
    return false;
}

// Clears a flag when the scope ends, however it ends.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~BusyScope() { FFlag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& FFlag;
};
}  // namespace

void TForm1::ConnectCycleHandlers() {
    Timer1->OnTimer = [this] { Timer1Timer(); };
}

void TForm1::Timer1Timer() {
    // A tick inside a running cycle (its fetch dispatches events) touches nothing.
    if (FCycleRunning)
        return;
    // Any non-zero flag watches; adding the flags up could cancel out or overflow.
    if (!AnyWatched(FState.Targets) || !AnyWatched(FState.Sites))
        return;
    BusyScope busy(FCycleRunning);
    RunWatchCycle();
}

void TForm1::RunWatchCycle() {
    const std::string promptFile = MessageFile();
    int32_t promptCount = 0;
    try {
        promptCount = CountPromptLines(promptFile);
    } catch (const std::exception& error) {
        // Reported here, while the cycle still counts as running, so the ticks
        // that fall due while the error box is open do not open more boxes.
        rtl::ReportException(error);
        return;
    }
    if (!ChooseNextSite())
        return;

    const std::string& url = FState.Sites[static_cast<size_t>(FState.SiteCursor)].Url;
    SetTestPanel(rtl::Gb("以下为监控得到的代码->") + url + "\r\n");

    try {
        FetchAndMatch(promptFile, promptCount);
    } catch (...) {
        FailCycle();
    }
}

bool TForm1::ChooseNextSite() {
    // The cursor moves before it is used; a full round without a selected site
    // that has an address ends the cycle with the cursor where it was.
    int cursor = FState.SiteCursor;
    for (int tried = 0; tried <= MaxSiteIndex; ++tried) {
        cursor = cursor >= 0 && cursor < MaxSiteIndex ? cursor + 1 : 0;
        const SiteSlot& site = FState.Sites[static_cast<size_t>(cursor)];
        if (!site.Url.empty() && site.Selected != 0) {
            FState.SiteCursor = cursor;
            return true;
        }
    }
    return false;
}

void TForm1::FetchAndMatch(const std::string& promptFile, int32_t promptCount) {
    const size_t siteIndex = static_cast<size_t>(FState.SiteCursor);
    const FetchAddress address = SplitUrlPort(FState.Sites[siteIndex].Url);
    // The panel says what the cycle does while it does it: connecting during
    // the fetch, checked once the page is in (also while an alert is open).
    SetStatusText(1, rtl::Gb("正在连接:") + FState.Sites[siteIndex].Name + "...");
    const std::string& body = FetchPage(address.Url, address.Port);
    SetStatusText(1, rtl::Gb("已检查:") + FState.Sites[siteIndex].Name);
    FPageReader.Read(NMHTTP1->ContentType(), body, WatchedNames(FState));
    AppendToTestPanel(FPageReader.Page());

    // One draw per cycle, found or not, so the prompt sequence depends only on
    // how many cycles got this far.
    LcgRandom random;
    random.SetSeed(FRandomSeed);
    const int32_t promptIndex = random.Random(promptCount);
    FRandomSeed = random.Seed();

    // Names are copied by the alert, and a target deselected while an earlier
    // box was open raises no box of its own.
    const std::vector<bool> present = FPageReader.Present();
    for (int i = 0; i <= MaxTargetIndex; ++i)
        if (present[static_cast<size_t>(i)] && FState.Targets[static_cast<size_t>(i)].Selected != 0)
            AlertTarget(i, promptFile, promptIndex);
}

const std::string& TForm1::FetchPage(const std::string& url, int32_t port) {
    if (!NMHTTP1)
        throw rtl::Exception("No page fetcher");
    NMHTTP1->InputFileMode = false;
    NMHTTP1->OutputFileMode = false;
    NMHTTP1->ReportLevel = 0;
    NMHTTP1->SecureEnabled = true;
    NMHTTP1->TrustFolder = FFolders.CertsFolder();
    NMHTTP1->Port = port;
    const int32_t bound = FetchBound();
    NMHTTP1->TimeOut = bound;
    NMHTTP1->MaxBodyLength = MaxPageLength;
    NMHTTP1->MaxHeaderLength = MaxHeaderLength;
    NMHTTP1->DecodeContent = true;
    // Nothing one room's site sets reaches another room, on the same host or not.
    NMHTTP1->SetCookieJar(&FSiteCookies.try_emplace({url, port}).first->second);

    // The session's time-out restarts with every chunk, so a server that
    // dribbles a byte now and then would hold the cycle forever; this bounds
    // the whole fetch.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [this] { NMHTTP1->Abort(); });
    if (bound > 0)
        deadline.start(bound);
    NMHTTP1->Get(url);
    deadline.stop();
    return NMHTTP1->Body;
}

int32_t TForm1::FetchBound() const {
    // A tick that falls due inside a cycle is skipped, so a fetch that outlasts
    // the interval would cost the next site its turn: one stalled site would
    // starve all the others. The fetch ends a quarter interval before the next
    // tick, which leaves room for the rest of the cycle and the timer's slack.
    const int interval = Timer1->Interval();
    const int32_t share = interval - interval / 4;
    if (share <= 0)
        return FetchTimeOut;
    return FetchTimeOut > 0 ? std::min(FetchTimeOut, share) : share;
}

void TForm1::AlertTarget(int index, const std::string& promptFile, int32_t promptIndex) {
    const std::string name = FState.Targets[static_cast<size_t>(index)].Name;
    if (FState.SoundOn)
        FDesktop.PlaySoundSync(SoundFile());
    const std::string caption =
        rtl::Gb("目标出现 => ") + name + rtl::Gb("  取消对") + name + rtl::Gb("的监控?");
    const std::string prompt = PickPromptLine(promptFile, promptIndex);

    // No tick while the box is up; the interval starts afresh when it closes.
    // A pause chosen during the fetch stays in force.
    const bool wasRunning = Timer1->Enabled();
    Timer1->SetEnabled(false);
    const DesktopServices::Answer answer = FDesktop.AlertBox(this, name + prompt, caption);
    if (answer == DesktopServices::Answer::Yes) {
        if (QListWidgetItem* row = ui->ListBox2->item(index)) {
            // Only this row changes: the list's own selection handler would
            // rewrite every flag from the selection.
            const QSignalBlocker quiet(ui->ListBox2);
            row->setSelected(false);
        }
        FState.Targets[static_cast<size_t>(index)].Selected = 0;
    }
    if (wasRunning)
        Timer1->SetEnabled(true);
}

void TForm1::FailCycle() {
    // The failure is reported in the status bar and the test panel; a clean-up
    // that fails as well has nothing to add.
    try {
        if (NMHTTP1) {
            NMHTTP1->Abort();
            NMHTTP1->Disconnect();
        }
    } catch (...) {
    }
    SetStatusText(1, rtl::Gb("连接失败或出错在:") +
                         FState.Sites[static_cast<size_t>(FState.SiteCursor)].Name);
    // The panel says why, so a certificate problem can be told from a refused
    // connection. Called from the cycle's handler, the failure is still current.
    std::string reason;
    try {
        if (std::current_exception())
            std::rethrow_exception(std::current_exception());
    } catch (const std::exception& error) {
        reason = error.what();
    } catch (...) {
    }
    AppendToTestPanel(
        rtl::Gb("出现异常!") + "\r\n" + (reason.empty() ? "" : reason + "\r\n") +
        (NMHTTP1 ? CertificateFailureNotes(NMHTTP1->PeerCertificate(), FFolders.CertsFolder())
                 : std::string()));
    if (FState.IntervalSeconds < 3 || FState.IntervalSeconds > 60)
        FState.IntervalSeconds = 10;
    Timer1->SetInterval(FState.IntervalSeconds * 1000);
}

// Laying out a large page in the text box costs many times its fetch, so the
// panel's text is only kept while the panel is hidden and put into the box
// when the user shows it.
void TForm1::SetTestPanel(const std::string& gbText) {
    FPanelText = gbText;
    FPanelStale = ui->Memo1->isHidden();
    if (!FPanelStale)
        ui->Memo1->setPlainText(PanelText(gbText));
}

void TForm1::AppendToTestPanel(std::string_view gbText) {
    FPanelText += gbText;
    if (ui->Memo1->isHidden()) {
        FPanelStale = true;
        return;
    }
    QTextCursor end(ui->Memo1->document());
    end.movePosition(QTextCursor::End);
    end.insertText(PanelText(gbText));
}

void TForm1::ShowTestPanelText() {
    if (!FPanelStale)
        return;
    ui->Memo1->setPlainText(PanelText(FPanelText));
    FPanelStale = false;
}

}  // namespace app
