#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <exception>

#include "app/gui/Unit1.h"
#include "app/watch/CertificateAdvice.h"
#include "app/watch/FetchReason.h"
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

bool StartsWithText(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
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

    // A copy: the lists can be edited while the fetch waits, and the check
    // belongs to the site that was fetched.
    const SiteSlot site = FState.Sites[static_cast<size_t>(FState.SiteCursor)];
    SetTestPanel(rtl::Gb("以下为监控得到的代码->") + site.Url + "\r\n");
    // Said before the fetch as well: a fetch may take most of the interval,
    // and the panel must not go on naming the previous site meanwhile.
    SetStatusText(1, rtl::Gb("正在连接:") + site.Name + "...");

    const FetchOutcome outcome = FetchSite(site.Url);
    if (!outcome.Done()) {
        if (RecordChecks)
            RecordCheck(site, outcome);
        FailCycle(ReasonLine(outcome));
        return;
    }
    // A page that could not be read is still a check of the site, though it
    // tells nothing of who was there.
    bool recorded = false;
    const auto recordUnread = [&] {
        if (RecordChecks && !recorded)
            RecordCheck(site, outcome);
    };
    try {
        MatchPage(site, promptFile, promptCount, outcome, recorded);
    } catch (const std::exception& error) {
        recordUnread();
        FailCycle(error.what());
    } catch (...) {
        recordUnread();
        FailCycle("");
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

FetchOutcome TForm1::FetchSite(const std::string& url) {
    const auto start = std::chrono::steady_clock::now();
    FFetchConnected = false;
    FFetchReplySeen = false;
    FFetchDeadlineHit = false;
    const int32_t bound = FetchBound();
    FetchOutcome outcome;
    if (NMHTTP1) {
        NMHTTP1->LastErrorNo = 0;
        NMHTTP1->Header.clear();
        NMHTTP1->Body.clear();
        NMHTTP1->BytesTotal = 0;
        NMHTTP1->BytesRecvd = 0;
    }
    try {
        const FetchAddress address = SplitUrlPort(url);
        FetchPage(address.Url, address.Port, bound);
        outcome = ClassifyReply(ReplyFacts());
    } catch (const std::exception& error) {
        outcome = ClassifyFetchError(error.what());
    } catch (...) {
        outcome = ClassifyFetchError("");
    }
    outcome.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    outcome.TimeLimitMs = bound;
    outcome.ByteLimit = MaxPageLength;
    if (NMHTTP1) {
        outcome.Host = NMHTTP1->Host;
        outcome.Bytes = static_cast<int64_t>(NMHTTP1->Body.size());
        if (outcome.Kind == FetchKind::Certificate)
            outcome.CertificateInfo =
                DescribeFailingCertificate(NMHTTP1->PeerCertificate(), NMHTTP1->Host);
    }
    return outcome;
}

FetchOutcome TForm1::ClassifyFetchError(const std::string& text) {
    // A server that sent the whole page its Content-Length announced and then
    // kept the connection open was cut by the bound, but its page is complete.
    if (NMHTTP1 && (FFetchDeadlineHit || NMHTTP1->TimedOut) && NMHTTP1->BytesTotal > 0 &&
        NMHTTP1->BytesRecvd >= NMHTTP1->BytesTotal && StartsWithText(text, "Socket capture"))
        return ClassifyReply(ReplyFacts());
    FetchFailureFacts facts;
    facts.Text = text;
    facts.DeadlineHit = FFetchDeadlineHit;
    facts.TcpConnected = FFetchConnected;
    if (NMHTTP1) {
        facts.SessionTimedOut = NMHTTP1->TimedOut;
        facts.ReplyStarted = FFetchReplySeen || !NMHTTP1->Header.empty();
        facts.SocketError = NMHTTP1->LastErrorNo;
    }
    return ClassifyFailure(facts);
}

FetchReplyFacts TForm1::ReplyFacts() const {
    FetchReplyFacts facts;
    facts.ReplyCode = NMHTTP1->ReplyNumber;
    facts.Header = NMHTTP1->Header;
    facts.ExpectedBytes = NMHTTP1->BytesTotal;
    facts.ReceivedBytes = NMHTTP1->BytesRecvd;
    facts.CutAtBound =
        MaxPageLength >= 0 && NMHTTP1->Body.size() >= static_cast<size_t>(MaxPageLength);
    return facts;
}

void TForm1::MatchPage(const SiteSlot& site, const std::string& promptFile, int32_t promptCount,
                       const FetchOutcome& outcome, bool& recorded) {
    const size_t siteIndex = static_cast<size_t>(FState.SiteCursor);
    const std::string& body = NMHTTP1->Body;
    // Checked once the page is in, also while an alert is open: the fetch's
    // "connecting" would no longer be true.
    SetStatusText(1, rtl::Gb("已检查:") + FState.Sites[siteIndex].Name);
    const std::vector<std::string_view> names = WatchedNames(FState);
    FPageReader.Read(NMHTTP1->ContentType(), body, names);
    AppendToTestPanel(FPageReader.Page());
    // An error page or a cut one is still searched, and the panel says what
    // it was under the page.
    if (outcome.Kind != FetchKind::Ok)
        AppendToTestPanel("\r\n" + ReasonLine(outcome) + "\r\n");

    // Recorded before the alerts, which wait for the user: the records and
    // `perchly --seen` know she is there while her box is open.
    const std::vector<bool>& found = FPageReader.Present();
    if (RecordChecks) {
        PresenceCheck presence;
        presence.Partial = outcome.Kind == FetchKind::BodyCut;
        for (size_t i = 0; RecordPresence && i < names.size() && i < found.size(); ++i)
            if (!names[i].empty())
                presence.Names.emplace_back(std::string(names[i]), found[i]);
        RecordCheck(site, outcome, RecordPresence ? &presence : nullptr);
    }
    recorded = true;

    // One draw per cycle, found or not, so the prompt sequence depends only on
    // how many cycles got this far.
    LcgRandom random;
    random.SetSeed(FRandomSeed);
    const int32_t promptIndex = random.Random(promptCount);
    FRandomSeed = random.Seed();

    // Names are copied by the alert, and a target deselected while an earlier
    // box was open raises no box of its own.
    const std::vector<bool> present = found;
    for (int i = 0; i <= MaxTargetIndex; ++i)
        if (present[static_cast<size_t>(i)] && FState.Targets[static_cast<size_t>(i)].Selected != 0)
            AlertTarget(i, promptFile, promptIndex);
}

void TForm1::FetchPage(const std::string& url, int32_t port, int32_t bound) {
    if (!NMHTTP1)
        throw rtl::Exception("No page fetcher");
    NMHTTP1->InputFileMode = false;
    NMHTTP1->OutputFileMode = false;
    NMHTTP1->ReportLevel = 0;
    NMHTTP1->SecureEnabled = true;
    NMHTTP1->TrustFolder = FFolders.CertsFolder();
    NMHTTP1->Port = port;
    NMHTTP1->TimeOut = bound;
    NMHTTP1->MaxBodyLength = MaxPageLength;
    NMHTTP1->MaxHeaderLength = MaxHeaderLength;
    NMHTTP1->DecodeContent = true;
    // Nothing one room's site sets reaches another room, on the same host or not.
    NMHTTP1->SetCookieJar(&FSiteCookies.try_emplace({url, port}).first->second);
    // What the failure's kind is told by: whether the TCP connection of the
    // last attempt (a redirect makes a new one) was made, and whether a byte
    // of the reply came. Over TLS the handshake's own bytes come first, so
    // there only a whole line of the reply counts.
    NMHTTP1->OnAboutToSend = [this](net::TPowersock&) {
        FFetchConnected = false;
        FFetchReplySeen = false;
    };
    NMHTTP1->OnConnect = [this](net::TPowersock&) { FFetchConnected = true; };
    NMHTTP1->OnReadReady = [this](net::TPowersock& session) {
        if (FFetchConnected && !session.UseTls)
            FFetchReplySeen = true;
    };

    // The session's time-out restarts with every chunk, so a server that
    // dribbles a byte now and then would hold the cycle forever; this bounds
    // the whole fetch.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, [this] {
        FFetchDeadlineHit = true;
        NMHTTP1->Abort();
    });
    if (bound > 0)
        deadline.start(bound);
    NMHTTP1->Get(url);
    deadline.stop();
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
        ShowWhatIsWatched();
    }
    if (wasRunning)
        Timer1->SetEnabled(true);
}

void TForm1::FailCycle(const std::string& reason) {
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
    // connection.
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
