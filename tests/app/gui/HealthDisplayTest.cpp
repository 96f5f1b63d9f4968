// Every fetch ends known in the real window, and each site's health is shown
// where the user looks: the row marks, the window 站点状态, the status bar and
// the tray. A database that cannot be used is said once. The nickname rows
// say when and where each name was last seen.
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QTableWidget>
#include <QToolTip>
#include <filesystem>

#include "app/gui/HealthMarks.h"
#include "app/gui/SeenRecordsWindow.h"
#include "app/gui/SiteStatusUi.h"
#include "app/gui/SiteStatusWindow.h"
#include "app/gui/TrayIcon.h"
#include "tests/app/gui/WatchCycleFixture.h"
#include "tests/support/ScriptedPeer.h"

using testsupport::PageServer;

namespace {

class SiteHealthInTheWindow : public testsupport::WatchCycleFixture {
protected:
    void SetUp() override { WritePrompts(DefaultPrompts); }

    const app::SiteHealth* Health(const std::string& url) const { return Form->Health().Find(url); }
    app::HealthState Mark(int row) const {
        const qint64 key = Form->ui->ListBox1->item(row)->icon().cacheKey();
        for (const app::HealthState state : {app::HealthState::NotChecked, app::HealthState::Ok,
                                             app::HealthState::Failing, app::HealthState::Broken})
            if (app::HealthMark(state).cacheKey() == key)
                return state;
        ADD_FAILURE() << "row " << row << " has no state mark";
        return app::HealthState::NotChecked;
    }
    std::string RowTip(int row) const { return rtl::ToGb(Form->SiteRowTip(row)); }
    static bool Has(const std::string& text, const char* utf8) {
        return text.find(rtl::Gb(utf8)) != std::string::npos;
    }

    // An address nothing listens on.
    static std::string RefusedUrl() {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        return "127.0.0.1:" + std::to_string(closed.serverPort()) + "/";
    }
};

TEST_F(SiteHealthInTheWindow, DeadlineCutsAndErrorPagesEndKnown) {
    Server.SetBehaviour("/hang", PageServer::Behaviour::Hang);
    Server.SetPage("/gone", "Alice was here", 404);
    // The whole page by its length, then the connection kept open.
    testsupport::ScriptedPeer keep;
    keep.ReadUntil("\r\n\r\n")
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\n<b>Alice</b>")
        .Hold();
    keep.Start();
    const std::string keepUrl = "http://127.0.0.1:" + std::to_string(keep.Port()) + "/";
    Open({{"Hanging", Server.Address("/hang")},
          {"Gone", Server.Address("/gone")},
          {"Keep", keepUrl}},
         {{"Alice"}});
    Form->FetchTimeOut = 1000;
    std::string statusDuringFetch;
    Server.OnRequest = [&](const PageServer::Request&) { statusDuringFetch = Status(); };

    // An error page is searched as before, and the panel says what it was.
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Gone"));
    EXPECT_EQ(Memo(), Gb("以下为监控得到的代码->") + Server.Address("/gone") +
                          "\nAlice was here\n" +
                          Gb("服务器返回 404: 页面不存在 (HTTP/1.0 404 Scripted)") + "\n");
    EXPECT_EQ(Desktop.MessageBoxes.size(), 1u);
    ASSERT_NE(Health(Server.Address("/gone")), nullptr);
    EXPECT_EQ(Health(Server.Address("/gone"))->Last->Kind, app::FetchKind::HttpStatus);
    EXPECT_EQ(Mark(1), app::HealthState::Failing);

    // Complete by its length: matched, although the bound cut the wait for the close.
    Form->Timer1Timer();
    EXPECT_EQ(Status(), FetchedText("Keep")) << Memo();
    EXPECT_EQ(Desktop.MessageBoxes.size(), 2u);
    EXPECT_EQ(Mark(2), app::HealthState::Ok);

    // Cut by the bound: while it waits the panel names this site, not the
    // one before; then the failure path runs with the reason.
    Form->Timer1Timer();
    EXPECT_EQ(statusDuringFetch, FetchingText("Hanging"));
    EXPECT_EQ(Status(), FailureText("Hanging"));
    EXPECT_EQ(Memo(), Gb("以下为监控得到的代码->") + Server.Address("/hang") + "\n" +
                          Gb("出现异常!") + "\n" +
                          Gb("服务器 1 秒内没有应答 (Socket readln aborted)") + "\n");
    const app::SiteHealth* hanging = Health(Server.Address("/hang"));
    ASSERT_NE(hanging, nullptr);
    EXPECT_EQ(hanging->Last->Kind, app::FetchKind::FirstByteTimeout);
    EXPECT_EQ(Mark(0), app::HealthState::Failing);
    EXPECT_EQ(Desktop.MessageBoxes.size(), 2u);
    EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(SiteHealthInTheWindow, MarksTheStatusWindowTheTrayAndTheStatusBarFollowTheChecks) {
    Server.SetPage("/who", "nobody");
    const std::string refused = RefusedUrl();
    Open({{"Good", Server.Address("/who")}, {"Refused", refused}, {"Off", RefusedUrl(), 0}},
         {{"Alice"}});
    app::TTrayIcon tray(*Form);
    std::vector<std::pair<std::string, app::HealthTurn>> turns;
    Form->OnHealthTurn = [&](const std::string& name, app::HealthTurn turn,
                             const std::string& reason) {
        turns.emplace_back(name + ": " + reason, turn);
    };
    EXPECT_EQ(Mark(0), app::HealthState::NotChecked);
    // Refused, Good, Refused, Good, Refused: the third failure in a row breaks the watch.
    for (int tick = 0; tick < 5; ++tick)
        Form->Timer1Timer();
    EXPECT_EQ(Mark(0), app::HealthState::Ok);
    EXPECT_EQ(Mark(1), app::HealthState::Broken);
    EXPECT_EQ(Mark(2), app::HealthState::NotChecked);
    EXPECT_TRUE(Has(RowTip(1), "连续 3 次无法访问, 上次检查 ")) << RowTip(1);
    EXPECT_TRUE(Has(RowTip(1), "连接被拒绝: 该端口没有服务"));
    EXPECT_TRUE(Has(RowTip(0), "正常, 上次检查 "));
    EXPECT_EQ(turns, (std::vector<std::pair<std::string, app::HealthTurn>>{
                         {Gb("Refused: 连接被拒绝: 该端口没有服务"), app::HealthTurn::Broken}}));
    EXPECT_TRUE(tray.Icon().toolTip().endsWith(QString::fromUtf8("\n2 个站点, 1 个无法访问")))
        << tray.Icon().toolTip().toStdString();

    // The window lists every site in list order and waits for nobody.
    Form->mnuTrayStatusClick();
    auto* window = static_cast<app::TSiteStatusWindow*>(Form->StatusWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("站点状态"));
    QTableWidget* table = window->ui->StatusTable;
    ASSERT_EQ(table->rowCount(), 3);
    const auto cell = [&](int row, int column) {
        return table->item(row, column)->text().toStdString();
    };
    EXPECT_EQ(cell(0, 0), "Good");
    EXPECT_EQ(cell(0, 1), "正常");
    EXPECT_EQ(cell(1, 1), "连续 3 次无法访问");
    EXPECT_NE(cell(1, 2).find(", 刚才"), std::string::npos) << cell(1, 2);
    EXPECT_EQ(cell(1, 3), "连接被拒绝: 该端口没有服务 (Connection Failed)");
    EXPECT_EQ(cell(1, 4) + " " + cell(1, 5) + " " + cell(1, 6), "3 3 3");
    EXPECT_EQ(cell(0, 4) + " " + cell(0, 5) + " " + cell(0, 6), "0 2 0");
    EXPECT_EQ(cell(2, 1), "尚未检查 (未选中)");
    table->selectRow(1);
    EXPECT_NE(window->ui->DetailsLabel->text().indexOf("Connection Failed"), -1);
    EXPECT_FALSE(window->ui->CertificateBox->isVisible());
    // It follows the next check while it is open.
    Form->Timer1Timer();
    EXPECT_EQ(cell(0, 5), "3");
    EXPECT_TRUE(Form->Timer1->Enabled());

    // The shortcuts of the windows 站点状态 and 出现记录 are nobody else's.
    for (const auto& [own, keys] : {std::pair{Form->ui->mnuTrayStatus, "Ctrl+K"},
                                    std::pair{Form->ui->mnuSeenRecords, "Ctrl+R"}}) {
        EXPECT_EQ(own->shortcut(), QKeySequence(keys));
        for (QAction* action : Form->findChildren<QAction*>())
            if (action != own) {
                EXPECT_NE(action->shortcut(), own->shortcut())
                    << action->objectName().toStdString();
            }
    }

    // Nothing selected: the status bar and the tray say nothing is watched.
    Form->mnuTrayCleanClick();
    EXPECT_EQ(Status(), Gb("没有选中的站点和目标: 什么也没有监控"));
    EXPECT_TRUE(tray.Icon().toolTip().endsWith(
        QString::fromUtf8("\n没有选中的站点和目标: 什么也没有监控")));
    Form->A1Click();
    EXPECT_EQ(Status(), "");
    EXPECT_TRUE(tray.Icon().toolTip().endsWith(QString::fromUtf8("\n3 个站点, 1 个无法访问")))
        << tray.Icon().toolTip().toStdString();
}

TEST_F(SiteHealthInTheWindow, NicknameRowsSayWhenAndWhereTheNameWasLastSeen) {
    Server.SetPage("/who", "Alice and Bob");
    Open({{"Hall", Server.Address("/who")}}, {{"Alice"}, {"Carol"}});
    const auto tip = [&](int row) { return Form->TargetSightingText(row); };
    EXPECT_EQ(tip(0), Gb("从未出现"));
    Form->Timer1Timer();
    EXPECT_TRUE(Has(tip(0), "上次出现: 现在, Hall")) << tip(0);
    EXPECT_EQ(tip(1), Gb("从未出现"));
    // She left: the span ends at the check that saw her.
    Server.SetPage("/who", "Bob");
    Form->Timer1Timer();
    EXPECT_TRUE(Has(tip(0), "上次出现: 今天 ")) << tip(0);
    EXPECT_TRUE(Has(tip(0), ", Hall (只在一次检查中出现)")) << tip(0);
    // The text is made when the mouse rests on the row.
    QListWidget* list = Form->ui->ListBox2;
    const QPoint onRow = list->visualItemRect(list->item(0)).center();
    QHelpEvent hover(QEvent::ToolTip, onRow, list->viewport()->mapToGlobal(onRow));
    QApplication::sendEvent(list->viewport(), &hover);
    EXPECT_EQ(rtl::ToGb(QToolTip::text()), tip(0));

    Form->mnuSeenRecordsClick();
    auto* window = static_cast<app::TSeenRecordsWindow*>(Form->SeenWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("出现记录"));
    ASSERT_EQ(window->Records().Spans.size(), 1u);
    EXPECT_EQ(window->Records().Names, std::vector<std::string>{"Alice"});
}

TEST_F(SiteHealthInTheWindow, ACorruptDatabaseIsSaidOnceAndMonitoringGoesOn) {
    testsupport::WriteFile(Folder.File("perchly.db"), std::string(4096, '\x7f'));
    Open({{"Refused", RefusedUrl()}}, {{"Alice"}});
    const std::string ini = testsupport::ReadFile(Folder.File("perchly.ini"));
    for (int tick = 0; tick < 4; ++tick)
        Form->Timer1Timer();
    testsupport::PumpUntil([&] { return !Desktop.Notices.empty(); });
    ASSERT_EQ(Desktop.Notices.size(), 1u);
    EXPECT_TRUE(Has(Desktop.Notices[0], "已损坏")) << rtl::FromGb(Desktop.Notices[0]).toStdString();
    EXPECT_TRUE(Desktop.MessageBoxes.empty());
    EXPECT_TRUE(Errors.Messages().empty());
    EXPECT_EQ(Health(State.Sites[0].Url)->FailuresInARow, 4);
    EXPECT_TRUE(Form->HealthKeeper().Persistent()) << "a new file was made";
    EXPECT_EQ(testsupport::ReadFile(Folder.File("perchly.ini")), ini);
    bool aside = false;
    for (const auto& entry : std::filesystem::directory_iterator(Folder.Path()))
        aside |= entry.path().filename().string().rfind("perchly.db.corrupt-", 0) == 0;
    EXPECT_TRUE(aside);
}

}  // namespace
