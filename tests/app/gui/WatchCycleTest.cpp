#include <QTcpServer>
#include <filesystem>

#include "app/gui/SiteStatusUi.h"
#include "app/gui/SiteStatusWindow.h"
#include "app/watch/LcgRandom.h"
#include "net/NMHttp.h"
#include "net/TrustFolder.h"
#include "tests/app/gui/WatchCycleFixture.h"
#include "tests/support/HostileTlsServer.h"
#include "tests/support/TestCertificates.h"

using testsupport::PageServer;
using Answer = app::DesktopServices::Answer;

namespace {
class WatchCycle : public testsupport::WatchCycleFixture {
protected:
    void SetUp() override { WritePrompts(DefaultPrompts); }
};
}  // namespace

TEST_F(WatchCycle, NothingHappensWithoutASelectedTargetOrSite) {
    // No prompt file either: a tick that passes the guards would report it.
    std::remove(Folder.File("Message.ini").c_str());
    Open({{"Room", Server.Address("/who")}}, {{"Alice", 0}});
    Form->SetStatusText(1, "before");
    Form->Timer1Timer();
    Open({{"Room", Server.Address("/who"), 0}}, {{"Alice", 1}});
    Form->SetStatusText(1, "before");
    Form->Timer1Timer();

    EXPECT_TRUE(Errors.Messages().empty());
    EXPECT_EQ(Server.Connections(), 0);
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(Memo(), "");
    EXPECT_EQ(State.SiteCursor, 0);
}

TEST_F(WatchCycle, SelectedSitesWithoutAnAddressEndTheCycleWithoutAFetch) {
    Open({{"Empty", ""}, {"Other", "", 0}}, {{"Alice"}});
    Form->SetStatusText(1, "before");
    Form->Timer1Timer();
    EXPECT_FALSE(Form->CycleRunning());
    EXPECT_EQ(Server.Connections(), 0);
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(State.SiteCursor, 0);
}

TEST_F(WatchCycle, PollsSelectedSitesRoundRobinFromSlotOne) {
    Open({{"Zero", Server.Address("/site0")},
          {"One", Server.Address("/site1")},
          {"NoUrl", ""},
          {"Off", Server.Address("/site3"), 0}},
         {{"Alice"}});
    for (int cycle = 0; cycle < 4; ++cycle)
        Form->Timer1Timer();
    EXPECT_EQ(Server.Paths(), (std::vector<std::string>{"/site1", "/site0", "/site1", "/site0"}));
    EXPECT_EQ(Status(), FetchedText("Zero"));
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(WatchCycle, OneSelectedSiteIsPolledEveryCycle) {
    Open({{"Zero", Server.Address("/site0")}, {"One", Server.Address("/site1"), 0}}, {{"Alice"}});
    for (int cycle = 0; cycle < 3; ++cycle)
        Form->Timer1Timer();
    EXPECT_EQ(Server.Paths(), (std::vector<std::string>{"/site0", "/site0", "/site0"}));
}

TEST_F(WatchCycle, TestPanelShowsTheAddressAndTheRawPage) {
    Server.SetPage("/who", "<p>Nobody</p>\r\nyet");
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    Form->Timer1Timer();
    EXPECT_EQ(Memo(),
              Gb("以下为监控得到的代码->") + Server.Address("/who") + "\n<p>Nobody</p>\nyet");
    EXPECT_EQ(Status(), FetchedText("Room"));
    // The next cycle starts the panel afresh.
    Form->Timer1Timer();
    EXPECT_EQ(Memo(),
              Gb("以下为监控得到的代码->") + Server.Address("/who") + "\n<p>Nobody</p>\nyet");
}

TEST_F(WatchCycle, PortWrittenAfterALongHostIsUsedWithoutTheSchemeToo) {
    // Without a scheme the port is split off; the request line carries the path.
    Open({{"Bare", "localhost:" + std::to_string(Server.Port()) + "/bare?x=1"},
          {"Scheme", "http://127.0.0.1:" + std::to_string(Server.Port()) + "/scheme"}},
         {{"Alice"}});
    Form->Timer1Timer();
    Form->Timer1Timer();
    ASSERT_EQ(Server.Requests().size(), 2u)
        << (Errors.Messages().empty() ? "" : Errors.Messages()[0]);
    EXPECT_EQ(Server.Requests()[0].RequestLine, "GET /scheme HTTP/1.0");
    EXPECT_EQ(Server.Requests()[1].RequestLine, "GET /bare?x=1 HTTP/1.0");
    EXPECT_NE(Server.Requests()[1].Raw.find("\r\nHost: localhost\r\n"), std::string::npos);
    EXPECT_EQ(Status(), FetchedText("Bare"));
}

TEST_F(WatchCycle, EachSiteKeepsItsOwnCookies) {
    // Two rooms on one server: a cookie for the whole host still stays with
    // the room that set it.
    Server.SetReply("/a", "HTTP/1.0 200 OK\r\nSet-Cookie: sid=A; Path=/; HttpOnly\r\n\r\nroom a");
    Server.SetReply("/b", "HTTP/1.0 200 OK\r\n\r\nroom b");
    Open({{"A", Server.Address("/a")}, {"B", Server.Address("/b")}}, {{"Alice"}});
    for (int cycle = 0; cycle < 4; ++cycle)
        Form->Timer1Timer();
    ASSERT_EQ(Server.Paths(), (std::vector<std::string>{"/b", "/a", "/b", "/a"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Server.Requests()[i].Raw.find("Cookie"), std::string::npos) << i;
    EXPECT_NE(Server.Requests()[3].Raw.find("\r\nCookie: sid=A\r\n"), std::string::npos);
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(WatchCycle, PortWrittenAfterAShortHostIsReadByTheFetcher) {
    // "127.1" is five characters: the address goes to the fetcher unchanged.
    Open({{"Short", "127.1:" + std::to_string(Server.Port()) + "/short"}}, {{"Alice"}});
    Form->Timer1Timer();
    ASSERT_EQ(Server.Paths(), std::vector<std::string>{"/short"});
    EXPECT_EQ(Status(), FetchedText("Short"));
}

TEST_F(WatchCycle, PortThatIsNotANumberFailsWithoutConnecting) {
    Open({{"Broken", "localhost:abc/who"}, {"Good", Server.Address("/good")}}, {{"Alice"}});
    Form->Timer1Timer();  // slot 1 first
    Form->Timer1Timer();
    EXPECT_EQ(Server.Paths(), std::vector<std::string>{"/good"});
    EXPECT_EQ(Status(), FailureText("Broken"));
    EXPECT_EQ(Memo(), Gb("以下为监控得到的代码->") + "localhost:abc/who\n" + Gb("出现异常!") +
                          "\n" + Gb("网址有误") + " ('abc' is not a valid integer value)\n");
    EXPECT_TRUE(Errors.Messages().empty());
    // The failure keeps an interval within 3..60.
    EXPECT_EQ(State.IntervalSeconds, 60);
    EXPECT_EQ(Form->Timer1->Interval(), 60000);
}

TEST_F(WatchCycle, FailureResetsAnIntervalOutsideItsRangeOnly) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const std::string refused = "127.0.0.1:" + std::to_string(closed.serverPort()) + "/";
    closed.close();
    Open({{"Refused", refused}}, {{"Alice"}});
    for (const auto& [before, after] : {std::pair{3, 3}, {60, 60}, {2, 10}, {61, 10}}) {
        State.IntervalSeconds = before;
        Form->Timer1Timer();
        EXPECT_EQ(State.IntervalSeconds, after);
        EXPECT_EQ(Form->Timer1->Interval(), after * 1000);
    }
    EXPECT_EQ(Status(), FailureText("Refused"));
    EXPECT_TRUE(Desktop.MessageBoxes.empty());
}

TEST_F(WatchCycle, RefusedConnectionTakesTheFailurePathAndTheNextSiteStillWorks) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const std::string refused = "127.0.0.1:" + std::to_string(closed.serverPort()) + "/";
    closed.close();
    Server.SetPage("/who", "Alice");
    Open({{"Good", Server.Address("/who")}, {"Refused", refused}}, {{"Alice"}});
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FailureText("Refused"));
    EXPECT_NE(Memo().find(Gb("出现异常!")), std::string::npos);
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Good"));
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
}

TEST_F(WatchCycle, ServerThatNeverAnswersEndsThroughTheTimeOut) {
    Server.SetBehaviour("/hang", PageServer::Behaviour::Hang);
    Server.SetPage("/who", "Alice");
    Open({{"Good", Server.Address("/who")}, {"Hanging", Server.Address("/hang")}}, {{"Alice"}});
    Form->FetchTimeOut = 300;
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FailureText("Hanging"));
    EXPECT_FALSE(Form->CycleRunning());
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Good"));
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
}

TEST_F(WatchCycle, ServerThatDribblesForeverEndsThroughTheTimeOut) {
    // Every byte restarts a wait-based time-out; the whole fetch is bounded all the same.
    Server.SetBehaviour("/slow", PageServer::Behaviour::Dribble);
    Server.SetPage("/slow", "Alice");
    Open({{"Slow", Server.Address("/slow")}}, {{"Alice"}});
    Form->FetchTimeOut = 600;
    Form->Timer1Timer();
    EXPECT_GT(Server.StreamedBytes(), 0);
    EXPECT_EQ(Status(), FailureText("Slow"));
    EXPECT_TRUE(Desktop.MessageBoxes.empty());
}

TEST_F(WatchCycle, EndlessPageIsCutAtTheLimitAndStillSearched) {
    Server.SetBehaviour("/flood", PageServer::Behaviour::Flood);
    Server.SetPage("/flood", "<b>Alice</b>");
    Open({{"Flood", Server.Address("/flood")}}, {{"Alice"}});
    Form->MaxPageLength = 256 * 1024;
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Flood"));
    EXPECT_EQ(Form->NMHTTP1->Body.size(), 256u * 1024u);
    EXPECT_LE(Memo().size(), 256u * 1024u + 200u);
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
}

TEST_F(WatchCycle, ErrorStatusPageIsSearchedLikeAnyOther) {
    Server.SetPage("/gone", "Alice was here", 404);
    Open({{"Gone", Server.Address("/gone")}}, {{"Alice"}});
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Gone"));
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
}

TEST_F(WatchCycle, MatchesNamesInTheTextButNotInsideTags) {
    Server.SetPage("/who", "<a title=\"Mallory\"><b>Alice</b></a> is here");
    Open({{"Room", Server.Address("/who")}}, {{"alice"}, {"Mallory"}, {"Alice"}});
    std::string statusWhileFetching;
    std::string statusWhileAsking;
    Server.OnRequest = [&](const PageServer::Request&) { statusWhileFetching = Status(); };
    Desktop.OnMessageBox = [&] { statusWhileAsking = Status(); };
    Form->Timer1Timer();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 1u);
    const auto& box = Desktop.MessageBoxes[0];
    EXPECT_EQ(box.Caption, Gb("目标出现 => Alice  取消对Alice的监控?"));
    EXPECT_EQ(box.Text, "Alice one");
    EXPECT_EQ(box.ButtonSet, app::DesktopServices::Buttons::YesNo);
    EXPECT_EQ(box.IconKind, app::DesktopServices::Icon::Information);
    EXPECT_EQ(box.Owner, Form.get());
    // Unasked, so it must not take the keyboard, and a stray Return keeps the watch.
    EXPECT_TRUE(box.Alert);
    EXPECT_EQ(box.Default, app::DesktopServices::DefaultButton::No);
    EXPECT_EQ(Desktop.SoundsPlayed, std::vector<std::string>{Folder.File("Perchly.wav")});
    // The panel follows the cycle: no "connecting" once the page is in.
    EXPECT_EQ(statusWhileFetching, FetchingText("Room"));
    EXPECT_EQ(statusWhileAsking, FetchedText("Room"));
}

TEST_F(WatchCycle, SoundOffShowsTheBoxWithoutASound) {
    Server.SetPage("/who", "Alice");
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}}, false);
    Form->Timer1Timer();
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
    EXPECT_TRUE(Desktop.SoundsPlayed.empty());
}

TEST_F(WatchCycle, TwoTargetsOnOnePageGiveTwoBoxesAndYesDeselectsOnlyTheFirst) {
    Server.SetPage("/who", "<li>Bob</li><li>Alice</li>");
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}, {"Bob"}});
    ASSERT_TRUE(RowSelected(0) && RowSelected(1));
    Desktop.Answers = {Answer::Yes, Answer::No};
    std::vector<bool> timerDuringBox;
    Desktop.OnMessageBox = [&] { timerDuringBox.push_back(Form->Timer1->Enabled()); };
    Form->Timer1Timer();

    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Alice one", "Bob one"}));
    EXPECT_EQ(Desktop.SoundsPlayed.size(), 2u);
    EXPECT_EQ(timerDuringBox, (std::vector<bool>{false, false}));
    EXPECT_TRUE(Form->Timer1->Enabled());
    EXPECT_EQ(State.Targets[0].Selected, 0);
    EXPECT_EQ(State.Targets[1].Selected, 1);
    EXPECT_FALSE(RowSelected(0));
    EXPECT_TRUE(RowSelected(1));
    // A deselected target raises no more boxes.
    Form->Timer1Timer();
    EXPECT_EQ(BoxTexts().back(), "Bob one");
    EXPECT_EQ(Desktop.MessageBoxes.size(), 3u);
}

TEST_F(WatchCycle, PromptLinesFollowOneDrawPerCycle) {
    Server.SetPage("/hit", "Alice");
    Server.SetPage("/miss", "nobody");
    Open({{"Hit", Server.Address("/hit")}, {"Miss", Server.Address("/miss")}}, {{"Alice"}});
    // Cycles poll /miss, /hit, /miss, /hit: the draws of the misses still count.
    app::LcgRandom expected;
    std::vector<std::string> prompts;
    const char* lines[] = {" one", " two", " three"};
    for (int cycle = 0; cycle < 4; ++cycle) {
        const int32_t draw = expected.Random(3);
        if (cycle % 2 == 1)
            prompts.push_back(std::string("Alice") + lines[draw]);
        Form->Timer1Timer();
    }
    EXPECT_EQ(BoxTexts(), prompts);
}

TEST_F(WatchCycle, PromptFileOfCommentsOnlyGivesTheNameAlone) {
    WritePrompts("#only\r\n#$Link\r\n##target\r\n");
    Server.SetPage("/who", "Alice");
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    Form->Timer1Timer();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Alice"});
}

TEST_F(WatchCycle, MissingPromptFileIsReportedOnceWhileItsReportIsOpen) {
    std::remove(Folder.File("Message.ini").c_str());
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    // The report stands for an error box: ticks that fall due while it is open
    // run inside it.
    std::vector<std::string> reports;
    const rtl::ErrorReporter previous = rtl::SetErrorReporter([&](const std::string& message) {
        reports.push_back(message);
        Form->Timer1Timer();
        Form->Timer1Timer();
    });
    Form->Timer1Timer();
    EXPECT_EQ(reports, std::vector<std::string>{"File not found"});
    Form->Timer1Timer();  // the box was closed: the next tick reports again
    rtl::SetErrorReporter(previous);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(Server.Connections(), 0);
    EXPECT_EQ(State.SiteCursor, 0);
}

TEST_F(WatchCycle, PromptFileLostBeforeTheBoxTakesTheFailurePath) {
    Server.SetPage("/who", "Alice");
    Server.OnRequest = [&](const PageServer::Request&) {
        std::remove(Folder.File("Message.ini").c_str());
    };
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FailureText("Room"));
    EXPECT_TRUE(Desktop.MessageBoxes.empty());
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(WatchCycle, TickDuringTheFetchIsSkipped) {
    Server.SetPage("/site0", "Alice");
    bool runningInside = false;
    Server.OnRequest = [&](const PageServer::Request&) {
        runningInside = Form->CycleRunning();
        Form->Timer1Timer();  // a tick that falls due while the page is on its way
    };
    Open({{"Zero", Server.Address("/site0")}, {"One", Server.Address("/site1")}}, {{"Alice"}});
    Form->Timer1Timer();
    EXPECT_TRUE(runningInside);
    EXPECT_EQ(Server.Paths(), std::vector<std::string>{"/site1"});
    EXPECT_EQ(State.SiteCursor, 1);
    EXPECT_EQ(Status(), FetchedText("One"));
    EXPECT_FALSE(Form->CycleRunning());
    Form->Timer1Timer();
    EXPECT_EQ(Server.Paths(), (std::vector<std::string>{"/site1", "/site0"}));
}

TEST_F(WatchCycle, PauseDuringTheFetchSurvivesTheAlert) {
    Server.SetPage("/who", "Alice");
    Server.OnRequest = [&](const PageServer::Request&) { Form->Timer1->SetEnabled(false); };
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    ASSERT_TRUE(Form->Timer1->Enabled());
    Form->Timer1Timer();
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
    EXPECT_FALSE(Form->Timer1->Enabled());
}

TEST_F(WatchCycle, RunsFromTheWatchTimer) {
    Server.SetPage("/who", "Alice");
    Open({{"Room", Server.Address("/who")}}, {{"Alice"}});
    // The fetch must end a quarter interval before the next tick; a busy
    // machine needs more than the few milliseconds a tiny interval would leave.
    Form->Timer1->SetInterval(400);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !Desktop.MessageBoxes.empty(); }));
    Form->Timer1->SetEnabled(false);
    EXPECT_EQ(Desktop.MessageBoxes[0].Text, "Alice one");
}

TEST_F(WatchCycle, HttpsSitesAreWatchedAndAFailureSaysWhy) {
    const auto& certificates = testsupport::TestCertificates::Shared();
    certificates.Trust();
    testsupport::HostileTlsServer secure(testsupport::HostileTlsServer::Behaviour::Answer,
                                         certificates.Good());
    secure.SetReply("HTTP/1.0 200 OK\r\n\r\n<ul><li>Alice</li></ul>");
    testsupport::HostileTlsServer expired(testsupport::HostileTlsServer::Behaviour::Answer,
                                          certificates.Expired());
    // The written ports must survive the port split: "https://" is 8 characters.
    const std::string secureUrl = "https://localhost:" + std::to_string(secure.Port()) + "/who";
    const std::string expiredUrl = "https://localhost:" + std::to_string(expired.Port()) + "/who";
    Open({{"Expired", expiredUrl}, {"Secure", secureUrl}}, {{"Alice"}});

    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Secure"));
    EXPECT_EQ(secure.LastRequest().substr(0, 19), "GET /who HTTP/1.0\r\n");
    ASSERT_EQ(Desktop.MessageBoxes.size(), 1u);

    Form->Timer1Timer();
    EXPECT_EQ(Status(), FailureText("Expired"));
    EXPECT_EQ(Memo(), Gb("以下为监控得到的代码->") + expiredUrl + "\n" + Gb("出现异常!") + "\n" +
                          Gb("证书已于 ") +
                          net::UtcDate(Form->NMHTTP1->PeerCertificate().NotAfter) + Gb(" 过期") +
                          " (TLS handshake failed: certificate verify failed (certificate has "
                          "expired))\n");
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
    EXPECT_TRUE(Errors.Messages().empty());
    // A trusted copy cannot mend an expired certificate: none is offered.
    Form->mnuTrayStatusClick();
    auto* window = static_cast<app::TSiteStatusWindow*>(Form->StatusWindow());
    ASSERT_NE(window, nullptr);
    window->ui->StatusTable->selectRow(0);
    EXPECT_FALSE(window->ui->CertificateBox->isHidden());
    EXPECT_TRUE(window->ui->TrustButton->isHidden());
}

TEST_F(WatchCycle, AnUntrustedCertificateSaysWhereATrustedCopyGoes) {
    const auto& certificates = testsupport::TestCertificates::Shared();
    certificates.Trust();
    testsupport::HostileTlsServer self(testsupport::HostileTlsServer::Behaviour::Answer,
                                       certificates.SelfSigned());
    self.SetReply("HTTP/1.0 200 OK\r\n\r\n<ul><li>Alice</li></ul>");
    const std::string certs = Folder.File("certs/");
    std::filesystem::create_directories(certs);
    testsupport::WriteFile(certs + "notes.txt", "not a certificate");
    const std::string url = "https://localhost:" + std::to_string(self.Port()) + "/who";
    Open({{"Self", url}}, {{"Alice"}});

    const std::string failed =
        Gb("以下为监控得到的代码->") + url + "\n" + Gb("出现异常!") + "\n" +
        Gb("证书不受信任: CN=self 是自签名的") +
        " (TLS handshake failed: certificate verify failed (self-signed certificate))\n" +
        Gb("要信任这个站点的证书, 把它的 PEM 文件放进 ") + certs + "\n";
    Form->Timer1Timer();
    EXPECT_EQ(Memo(), failed + certs + "notes.txt" +
                          Gb(" 不是可用的证书, 已跳过 (no PEM certificate in it)") + "\n");
    // The skipped file is told once; the advice stays with every failure.
    Form->Timer1Timer();
    EXPECT_EQ(Memo(), failed);

    // The status window shows that certificate and, asked, trusts exactly it
    // for its host, which lets the next fetch in.
    Form->mnuTrayStatusClick();
    auto* window = static_cast<app::TSiteStatusWindow*>(Form->StatusWindow());
    ASSERT_NE(window, nullptr);
    window->ui->StatusTable->selectRow(0);
    const std::string shown = rtl::ToGb(window->ui->CertificateLabel->text());
    EXPECT_NE(shown.find(Gb("主体: CN=self")), std::string::npos) << shown;
    EXPECT_NE(shown.find("SHA-256: " + Form->NMHTTP1->PeerCertificate().Sha256), std::string::npos);
    ASSERT_FALSE(window->ui->TrustButton->isHidden());
    window->ui->TrustButton->click();  // answered No: nothing is saved
    EXPECT_FALSE(std::filesystem::exists(certs + "localhost.pem"));
    Desktop.Answers.push_back(app::DesktopServices::Answer::Yes);
    window->ui->TrustButton->click();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 2u);
    EXPECT_NE(Desktop.MessageBoxes[1].Text.find(Gb("只为主机 localhost 信任这个证书?")),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(certs + "localhost.pem"));
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Self"));
    EXPECT_EQ(Desktop.MessageBoxes.size(), 3u) << "the alert of the page now let in";
    EXPECT_TRUE(Errors.Messages().empty());
}
