#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/gui/DesktopServices.h"
#include "app/gui/Timer.h"
#include "app/page/PageReader.h"
#include "app/watch/FetchOutcome.h"
#include "app/watch/HealthKeeper.h"
#include "app/watch/WatchState.h"
#include "net/CookieJar.h"
#include "rtl/FileFolders.h"

class QAction;
class QComboBox;
class QListWidget;
class QMenu;
class QMouseEvent;
class QWidget;

namespace Ui {
class TForm1;
}

namespace net {
class TNMHTTP;
}

namespace app {

// The main window: both watch lists, the menus, the status bar, the banner and
// the test panel. Its handlers are spread over several files by concern:
// Unit1.cpp (creation, close, switches), Unit1Cycle.cpp (watch cycle),
// Unit1Links.cpp (link menu), Unit1Editors.cpp (list editors and selections),
// Unit1Commands.cpp (dialogs, help and web commands, hover hints),
// Unit1Health.cpp (each site's health: recorded, marked, summarised).
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // folders says where perchly.ini, Message.ini and Perchly.wav live. The
    // constructor builds the window and runs FormCreate.
    TForm1(WatchState& state, DesktopServices& desktop, rtl::FileFolders folders,
           QWidget* parent = nullptr);
    // All three files in one folder (with a trailing '/'), as a portable copy keeps them.
    TForm1(WatchState& state, DesktopServices& desktop, const std::string& folder,
           QWidget* parent = nullptr);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The generated controls, reached by their names (ui->ListBox1, ...).
    std::unique_ptr<Ui::TForm1> ui;
    // The watch timer; enabled means monitoring runs.
    std::unique_ptr<TTimer> Timer1;
    // The page fetcher of the watch cycle. The deleter lives in Unit1.cpp, so
    // this header needs only the class's name.
    struct TNMHTTPDeleter {
        void operator()(net::TNMHTTP* client) const;
    };
    std::unique_ptr<net::TNMHTTP, TNMHTTPDeleter> NMHTTP1;
    // Context menu of the banner picture: N2 start, N3 pause, N0 sound on, N1 sound off.
    QMenu* PopupMenu1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N0 = nullptr;
    QAction* N1 = nullptr;
    // Context menu of both list boxes: C1 clear all selections, A1 select all.
    QMenu* PopupMenu2 = nullptr;
    QAction* C1 = nullptr;
    QAction* A1 = nullptr;

    WatchState& State() { return FState; }
    DesktopServices& Desktop() { return FDesktop; }
    const rtl::FileFolders& Folders() const { return FFolders; }
    std::string SettingsFile() const { return FFolders.SettingsFile(); }
    std::string MessageFile() const { return FFolders.MessageFile(); }
    std::string SoundFile() const { return FFolders.SoundFile(); }

    // Status panels: 0 sound state, 1 progress and hints, 2 monitoring state. GB text.
    void SetStatusText(int panel, const std::string& gbText);
    std::string StatusText(int panel) const;

    // Mouse plumbing for controls without a suitable signal: the handler runs on
    // every mouse move (x in the control's coordinates) or left-button press over
    // the widget (for scroll areas, over its viewport). Used by the hover hints
    // and the banner click; each widget holds at most one handler of each kind.
    void WatchMouseMove(QWidget* widget, std::function<void(int x)> handler);
    void WatchClick(QWidget* widget, std::function<void()> handler);

    // Part of the window's creation and close (Unit1.cpp).
    void FormCreate();
    // Returns false when the save failed and the window must stay open.
    bool FormClose();

    // Watch cycle (Unit1Cycle.cpp).
    void Timer1Timer();

    // Monitoring switches and status display (Unit1Switches.cpp).
    void mnuTrayPauseClick();
    void mnuTraySoundClick();
    void mnuTrayStartClick();
    void N4Click();
    void T1Click();
    void mnuTrayExitClick();
    void StatusBar1MouseDown(int x);
    void PopupMenu1Popup();
    // Whether status panel 2 shows monitoring as running. Alert boxes and the
    // dialogs stop Timer1 for a while without changing it.
    bool MonitoringShown() const;
    // Raised after the monitoring or the sound state shown in the status bar,
    // what is watched or a site's health has changed (the tray icon follows).
    std::function<void()> OnStateShown;

    // Link menu and prompt file (Unit1Links.cpp).
    void mnuTray4Click();
    void Myclick(QObject* sender);
    void mnuTrayEditClick();

    // List editors and selections (Unit1Editors.cpp).
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void ComboBox1Click(int index);
    void ListBox1Click();
    void ListBox2Click();
    void A1Click();
    void mnuTrayCleanClick();

    // Each site's health (Unit1Health.cpp). The window's clock, milliseconds
    // since 1970 UTC; tests set their own.
    std::function<int64_t()> WallClock;
    const THealthBook& Health() const { return FHealth->Book(); }
    THealthKeeper& HealthKeeper() { return *FHealth; }
    // The window 站点状态 (menu 操作), made on first use and kept.
    void mnuTrayStatusClick();
    QWidget* StatusWindow() const;
    // When and where each nickname was seen: the window 出现记录.
    void mnuSeenRecordsClick();
    QWidget* SeenWindow() const;
    // The tooltip of a site row: its state, last check and reason, above the
    // list's own hint.
    QString SiteRowTip(int row) const;
    // The tooltip of a nickname row: when and where the name was last seen.
    std::string TargetSightingText(int row) const;
    // Raised when a site's watch broke (BrokenStreak failures in a row) or
    // recovered from that: site name and the last reason sentence, GB text.
    std::function<void(const std::string& name, HealthTurn turn, const std::string& reason)>
        OnHealthTurn;
    // How many selected sites there are and how many of them fail now.
    struct WatchSummary {
        int Sites = 0;
        int Failing = 0;
        bool SiteSelected = false;
        bool TargetSelected = false;
    };
    WatchSummary Summary() const;
    // The sentence that nothing is watched, empty when something is (GB text).
    std::string NothingWatchedText() const;

    // Dialogs, help and web commands, hover hints (Unit1Commands.cpp).
    void mnuTrayTimeClick();
    void mnuTrayAboutClick();
    void mnuTrayHelpClick();
    void mnuTrayMailClick();
    void mnuTrayPageClick();
    void Image1Click();
    void ListBox1MouseMove();
    void ListBox2MouseMove();
    void Button1MouseMove();
    void Button2MouseMove();
    void Button3MouseMove();
    void Button4MouseMove();
    void Memo1MouseMove();
    void Image1MouseMove();
    void StatusBar1MouseMove(int x);
    void Edit1MouseMove();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Each colleague file wires its own handlers to the controls.
    void ConnectCycleHandlers();
    void ConnectLinkHandlers();
    void ConnectEditorHandlers();
    void ConnectCommandHandlers();
    void ConnectHealthHandlers();
    void OpenHealth();
    // The state mark and tooltip of every site row, after any change to the
    // rows or to a site's health.
    void ShowSiteMarks();
    // Status panel 1 says so when nothing is watched; called when the
    // selections change.
    void ShowWhatIsWatched();
    void RecordCheck(const SiteSlot& site, const FetchOutcome& outcome,
                     const PresenceCheck* presence = nullptr);
    // A site's name for the user: the list's, else the one it had when last checked.
    std::string SiteNameOf(const std::string& url) const;
    void RefreshStatusWindow();

    void BuildContextMenus();
    void ConnectSwitchHandlers();
    void ApplyWindowFont();
    void ShowLeapDayGreeting();
    void ShowSoundState();

    WatchState& FState;
    DesktopServices& FDesktop;
    rtl::FileFolders FFolders;
    std::map<QObject*, std::function<void(int)>> FMouseMoveHandlers;
    std::map<QObject*, std::function<void()>> FClickHandlers;

    // ---- Watch cycle members (owned by the watch-cycle file) ----
public:
    // Longest time one page fetch may take, connect to last byte, in ms. A site
    // that accepts and never answers, or dribbles forever, then fails like any
    // other fetch and the next tick polls the next site.
    int32_t FetchTimeOut = 20000;
    // Most bytes of one page that are kept and searched (4 MiB).
    int32_t MaxPageLength = 4 * 1024 * 1024;
    // Most bytes of one response header; a longer one fails the fetch (256 KiB).
    int32_t MaxHeaderLength = 256 * 1024;
    // Whether each fetch's outcome is recorded as the site's health. Always on
    // in the program; the cycle benchmark turns it off to weigh what it costs.
    bool RecordChecks = true;
    // Whether a recorded check also records who was on the page. Always on
    // in the program; the benchmark weighs what it costs.
    bool RecordPresence = true;
    // True while a watch cycle runs (inside the fetch, a sound or a box).
    bool CycleRunning() const { return FCycleRunning; }
    // Puts the last cycle's text into the test panel; called when it is shown.
    void ShowTestPanelText();

private:
    void RunWatchCycle();
    bool ChooseNextSite();
    // Fetches the site's page and says how the fetch ended; never raises.
    FetchOutcome FetchSite(const std::string& url);
    FetchOutcome ClassifyFetchError(const std::string& text);
    FetchReplyFacts ReplyFacts() const;
    // Fetches one page in string mode, bounded in time (bound ms) and size,
    // decoded as the response announces; raises on failure. The page stays in
    // the fetcher.
    void FetchPage(const std::string& url, int32_t port, int32_t bound);
    // Steps after a fetch that gave a page: show it, search it, raise alerts.
    // Reads the fetched page, records the check with who was there (recorded
    // says it was) and raises the alerts.
    void MatchPage(const SiteSlot& site, const std::string& promptFile, int32_t promptCount,
                   const FetchOutcome& outcome, bool& recorded);
    // How long the fetch of this tick may take, in ms (0: no bound).
    int32_t FetchBound() const;
    void AlertTarget(int index, const std::string& promptFile, int32_t promptIndex);
    // The failure path of a cycle; reason goes to the test panel.
    void FailCycle(const std::string& reason);
    void SetTestPanel(const std::string& gbText);
    void AppendToTestPanel(std::string_view gbText);
    // A tick that falls due while a cycle runs is skipped: the fetcher serves
    // one transaction at a time, and the error box of a missing prompt file
    // must not pile up one box per tick.
    bool FCycleRunning = false;
    // State of the cycle's random generator (LcgRandom), kept per window.
    uint32_t FRandomSeed = 0;
    // The page's road from body to names found; kept between cycles so its
    // texts' room is reused instead of faulted in afresh every tick.
    TPageReader FPageReader;
    // What the test panel holds, and whether the box has yet to be given it.
    std::string FPanelText;
    bool FPanelStale = false;
    // The cookies of each site (by the address and port fetched) for the run;
    // the fetcher is given the site's own jar for each fetch.
    std::map<std::pair<std::string, int32_t>, net::TCookieJar> FSiteCookies;
    // What the fetch under way has shown so far, for its outcome's kind.
    bool FFetchConnected = false;
    bool FFetchReplySeen = false;
    bool FFetchDeadlineHit = false;
    std::unique_ptr<THealthKeeper> FHealth;
    QPointer<QWidget> FStatusWindow;
    QPointer<QWidget> FSeenWindow;
    // Status panel 1 says that nothing is watched, and may be taken back.
    bool FNothingWatchedShown = false;
    // ---- end of watch cycle members ----

    // ---- Link menu members (owned by the link-menu file) ----
    // ---- end of link menu members ----

    // ---- Editor and command members (owned by the editor/command files) ----
public:
    // Texts the add operations leave in the fields; a field holding its
    // placeholder counts as empty.
    static constexpr const char SiteNamePlaceholder[] = "在这里输入站点名称";
    static constexpr const char SiteUrlPlaceholder[] = "在这里输入站点网址";
    static constexpr const char TargetNamePlaceholder[] = "在这里输入昵称";
    // What status panel 1 says while the site editor is open.
    static constexpr const char SiteEditorHint[] =
        "站点如果采用了Frame(框架),请参照帮助中的说明进行设置!";
    // True while the site or the target editor (or both) is open.
    bool EditorOpen() const { return FSiteEditorOpen || FTargetEditorOpen; }

private:
    // Editing pauses monitoring once, when the first editor opens, and puts it
    // back when the last one closes: with both editors open, confirming one must
    // not restart the timer under the other. The record of whether monitoring
    // was stopped is WatchState::SavedRunState; the dialogs keep their own.
    void BeginEditing();
    void EndEditing();
    // Adds or updates from what the fields hold; false when the list is full
    // (after the limit message), true otherwise, whether or not anything changed.
    bool AddSite();
    bool AddTarget();
    // The refusals and the Yes/No question of a delete; returns the index of
    // the item to delete, or -1 when nothing is to be deleted.
    int ConfirmDeletion(QComboBox* box, const std::string& onlyEntryText,
                        const std::string& noChoiceText);
    // Row selection written from code, without the list's change signal.
    void SelectAllRows(QListWidget* list, bool selected);
    // Both lists' rows and flags at once; refused while an editor is open.
    void SelectEveryEntry(bool selected);
    void RebuildSiteRows();
    void RebuildTargetRows();
    void FocusField(QComboBox* box);
    bool FSiteEditorOpen = false;
    bool FTargetEditorOpen = false;
    // ---- end of editor and command members ----
};

}  // namespace app
