// Not a test: a long run of the watcher against nginx, for `make soak`. Five
// selected sites at a 3-second interval, four served by nginx (one of them
// shows the watched nickname, one is served over TLS) and one hostile, whose
// misbehaviour changes every round, over plain HTTP or over TLS. Prints the open file descriptors,
// resident memory and heap in use after a warm-up and at the end, and exits 1 when they grew beyond
// noise.
//
//   watch_soak [seconds]     (default 600)
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/gui/DesktopServices.h"
#include "app/gui/Unit1.h"
#include "app/watch/WatchState.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "tests/support/HostileServer.h"
#include "tests/support/HostileTlsServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::HostileServer;
using testsupport::HostileTlsServer;
using testsupport::TestCertificates;

// Counts what a desktop would show, keeping nothing per call: a long run must
// not grow through its own bookkeeping. Alerts are answered No.
class CountingDesktop : public app::DesktopServices {
public:
    long Boxes = 0;
    long Sounds = 0;
    long Notices = 0;
    Answer MessageBox(QWidget*, const std::string&, const std::string&, Buttons, Icon,
                      DefaultButton) override {
        ++Boxes;
        return Answer::No;
    }
    void ShowMessage(const std::string&) override {}
    void ShowNotice(QWidget*, const std::string&) override { ++Notices; }
    int RunModal(QDialog&) override { return 0; }
    bool ShellOpen(QWidget*, const std::string&, ShowMode) override { return true; }
    void PlaySoundSync(const std::string&) override { ++Sounds; }
    QDate Today() override { return QDate(2001, 3, 14); }
};

struct Figures {
    int Descriptors = 0;
    int64_t Resident = 0;
    int64_t Heap = 0;
};

constexpr int Sites = 5;
constexpr int HostileSlot = 4;
constexpr int IntervalSeconds = 3;
constexpr HostileServer::Behaviour Behaviours[] = {
    HostileServer::Behaviour::Silent,
    HostileServer::Behaviour::Dribble,
    HostileServer::Behaviour::EndlessBody,
    HostileServer::Behaviour::ManyHeaderLines,
    HostileServer::Behaviour::HugeHeaderLine,
    HostileServer::Behaviour::ResetMidBody,
    HostileServer::Behaviour::GarbageStatusLine,
    HostileServer::Behaviour::RedirectToSelf,
    HostileServer::Behaviour::Refuse,
};
constexpr int PlainCount = sizeof Behaviours / sizeof Behaviours[0];

// The misbehaviours over TLS, with the certificate the server shows.
enum class Shown { Good, Expired, SelfSigned, WrongHost, Untrusted };
struct TlsMisbehaviour {
    HostileTlsServer::Behaviour How;
    Shown Certificate;
};
constexpr TlsMisbehaviour TlsBehaviours[] = {
    {HostileTlsServer::Behaviour::SilentHandshake, Shown::Good},
    {HostileTlsServer::Behaviour::DribbleHandshake, Shown::Good},
    {HostileTlsServer::Behaviour::PlainHttp, Shown::Good},
    {HostileTlsServer::Behaviour::ResetMidHandshake, Shown::Good},
    {HostileTlsServer::Behaviour::BodyWithoutCloseNotify, Shown::Good},
    {HostileTlsServer::Behaviour::Answer, Shown::Expired},
    {HostileTlsServer::Behaviour::Answer, Shown::SelfSigned},
    {HostileTlsServer::Behaviour::Answer, Shown::WrongHost},
    {HostileTlsServer::Behaviour::Answer, Shown::Untrusted},
};
constexpr int BehaviourCount = PlainCount + sizeof TlsBehaviours / sizeof TlsBehaviours[0];

const TestCertificates::Pair& Certificate(const TestCertificates& certificates, Shown shown) {
    switch (shown) {
        case Shown::Expired:
            return certificates.Expired();
        case Shown::SelfSigned:
            return certificates.SelfSigned();
        case Shown::WrongHost:
            return certificates.WrongHost();
        case Shown::Untrusted:
            return certificates.Untrusted();
        case Shown::Good:
            break;
    }
    return certificates.Good();
}

void Print(const char* when, long tick, const Figures& figures) {
    std::printf("soak: %-5s tick %4ld  fds %3d  rss %7.1f MiB  heap %7.1f MiB\n", when, tick,
                figures.Descriptors, static_cast<double>(figures.Resident) / 1048576.0,
                static_cast<double>(figures.Heap) / 1048576.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
    const long totalTicks = std::max(seconds / IntervalSeconds, 20L);
    // Figures are taken at tick starts one whole number of rounds apart, after
    // every hostile behaviour has had its turn once when the run is long enough.
    const long rounds = totalTicks / Sites;
    const long warmRounds =
        rounds >= 2 * BehaviourCount ? BehaviourCount : std::max(rounds / 2, 1L);
    const long startTick = warmRounds * Sites;
    const long endTick = rounds * Sites;

    long errors = 0;
    rtl::SetErrorReporter([&errors](const std::string& message) {
        ++errors;
        std::fprintf(stderr, "soak: error report: %s\n", message.c_str());
    });

    const TestCertificates& certificates = TestCertificates::Shared();
    certificates.Trust();
    testsupport::NginxFixture nginx;
    testsupport::NginxFixture secureNginx;
    secureNginx.EnableTls(certificates.Good().Certificate, certificates.Good().Key);
    const std::string page = "<html><body><ul><li>visitor</li><li>guest</li></ul></body></html>";
    nginx.AddFile("a.html", page);
    nginx.AddFile("b.html", "<html><body><ul><li>Alice</li><li>Bob</li></ul></body></html>");
    secureNginx.AddFile("c.html", page);
    nginx.AddLargeFile("d.html", 256 * 1024);
    nginx.Start();
    secureNginx.Start();

    testsupport::TempFolder folder;
    testsupport::WriteFile(folder.File("Message.ini"), "# prompts\r\n one\r\n two\r\n");
    std::string ini =
        "[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\nName1=Nobody\r\nName1ch=1\r\n"
        "[TargetSite]\r\n";
    const char* paths[] = {"/a.html", "/b.html", "/c.html", "/d.html"};
    for (int n = 0; n < Sites; ++n) {
        const std::string key = "Site" + std::to_string(n);
        const std::string url = n == HostileSlot ? "http://127.0.0.1:1/"
                                : n == 2         ? secureNginx.Url(paths[n])
                                                 : nginx.Url(paths[n]);
        ini += key + "=Room" + std::to_string(n) + "\r\n" + key + "Url=" + url + "\r\n" + key +
               "ch=1\r\n";
    }
    ini += "[Setting]\r\nSound=1\r\nAutoUp=1\r\nSecond=10\r\nAutoMin=0\r\n";
    testsupport::WriteFile(folder.File("perchly.ini"), ini);

    static app::WatchState state;
    CountingDesktop desktop;
    app::TForm1 form(state, desktop, folder.Path());
    // As the interval dialog sets it; a settings file cannot hold less than 5.
    state.IntervalSeconds = IntervalSeconds;
    form.Timer1->SetInterval(IntervalSeconds * 1000);

    std::unique_ptr<HostileServer> hostile;
    std::unique_ptr<HostileTlsServer> hostileTls;
    int behaviour = -1;
    auto nextHostile = [&] {
        hostile.reset();
        hostileTls.reset();
        behaviour = (behaviour + 1) % BehaviourCount;
        if (behaviour < PlainCount) {
            hostile = std::make_unique<HostileServer>(Behaviours[behaviour]);
            state.Sites[HostileSlot].Url = hostile->Url("/who");
        } else {
            const TlsMisbehaviour& tls = TlsBehaviours[behaviour - PlainCount];
            hostileTls = std::make_unique<HostileTlsServer>(
                tls.How, Certificate(certificates, tls.Certificate));
            state.Sites[HostileSlot].Url = hostileTls->Url("/who");
        }
    };
    nextHostile();
    auto own = [&] {
        Figures figures;
        figures.Descriptors = testsupport::OpenFileDescriptors() -
                              (hostile ? hostile->Descriptors() : 0) -
                              (hostileTls ? hostileTls->Descriptors() : 0);
        figures.Resident = testsupport::ResidentBytes();
        figures.Heap = testsupport::HeapInUse();
        return figures;
    };

    long ticks = 0;
    long skipped = 0;
    long failures = 0;
    Figures start;
    Figures end;
    const auto cycle = form.Timer1->OnTimer;
    form.Timer1->OnTimer = [&] {
        if (form.CycleRunning()) {
            ++skipped;
            return;
        }
        ++ticks;
        if (ticks == startTick) {
            start = own();
            Print("start", ticks, start);
        }
        if (ticks == endTick) {
            end = own();
            Print("end", ticks, end);
            form.Timer1->SetEnabled(false);
            application.quit();
            return;
        }
        // A new misbehaviour each round, changed between cycles.
        if (ticks % Sites == 0)
            nextHostile();
        cycle();
        if (form.StatusText(1).find(rtl::Gb("连接失败或出错在:")) == 0)
            ++failures;
    };

    std::printf("soak: %ld s, %d sites every %d s, figures at ticks %ld and %ld\n", seconds, Sites,
                IntervalSeconds, startTick, endTick);
    std::fflush(stdout);
    QApplication::exec();

    const long expectedBoxes = ticks / Sites;
    std::printf(
        "soak: %ld ticks, %ld skipped, %ld failed fetches, %ld alerts, %ld sounds, %ld "
        "error reports\n",
        ticks, skipped, failures, desktop.Boxes, desktop.Sounds, errors);
    const int64_t heapGrowth = end.Heap - start.Heap;
    const int64_t residentGrowth = end.Resident - start.Resident;
    std::printf("soak: growth fds %+d  rss %+.1f MiB  heap %+.1f MiB\n",
                end.Descriptors - start.Descriptors,
                static_cast<double>(residentGrowth) / 1048576.0,
                static_cast<double>(heapGrowth) / 1048576.0);

    bool ok = true;
    auto fail = [&ok](const char* what) {
        std::printf("soak: FAILED: %s\n", what);
        ok = false;
    };
    if (end.Descriptors > start.Descriptors)
        fail("open file descriptors grew");
    // Noise: allocator slack and Qt's caches; a leak per cycle over a hundred
    // cycles or more shows far above these.
    if (heapGrowth > (int64_t{4} << 20))
        fail("heap in use grew by more than 4 MiB");
    if (residentGrowth > std::max<int64_t>(int64_t{32} << 20, start.Resident / 5))
        fail("resident memory grew by more than 32 MiB or a fifth");
    if (skipped > 0)
        fail("ticks were skipped: a cycle outlasted the interval");
    if (errors > 0)
        fail("error reports were raised");
    if (desktop.Notices > 0)
        fail("the site health database could not be used");
    if (desktop.Boxes < expectedBoxes - 1)
        fail("the nickname on the watched page did not raise an alert every round");
    return ok ? 0 : 1;
}
