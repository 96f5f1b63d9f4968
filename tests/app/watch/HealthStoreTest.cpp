// Each site's health, kept in perchly.db: what survives a restart, what is
// dropped when it is past keeping, and every bad database the keeper must
// live with (monitoring goes on in memory, one message, the lists untouched).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/watch/HealthKeeper.h"
#include "app/watch/HealthStore.h"
#include "rtl/GbText.h"
#include "tests/support/TestSupport.h"

namespace {

using app::FetchKind;
using app::MillisecondsPerDay;
using app::MillisecondsPerHour;
using testsupport::ReadFile;
using testsupport::WriteFile;

// 2026-12-09 05:00:00 UTC.
constexpr int64_t Now = 1796792400000;
const std::string Url = "http://127.0.0.1:9/who";

app::FetchOutcome Outcome(FetchKind kind) {
    app::FetchOutcome outcome;
    outcome.Kind = kind;
    if (kind == FetchKind::Refused)
        outcome.Text = "Connection Failed";
    outcome.DurationMs = 12;
    outcome.Bytes = kind == FetchKind::Ok ? 345 : 0;
    return outcome;
}

// One value of a query on the file, as text.
std::string Query(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class HealthKeeping : public testing::Test {
protected:
    std::string Db() const { return Folder.File("perchly.db"); }
    testsupport::TempFolder Folder;
};

TEST_F(HealthKeeping, ChecksSurviveARestartAndARenameInAWalFileOfTheCurrentVersion) {
    {
        app::THealthKeeper keeper(Db());
        int problems = 0;
        keeper.OnProblem = [&](const std::string&) { ++problems; };
        keeper.Open(Now);
        keeper.Record(Url, rtl::Gb("大厅"), Outcome(FetchKind::Ok), Now - 2 * MillisecondsPerDay);
        keeper.Record(Url, rtl::Gb("大厅"), Outcome(FetchKind::Ok), Now - MillisecondsPerHour);
        // Renamed in the list: the same address, so the same history.
        keeper.Record(Url, rtl::Gb("聊天大厅"), Outcome(FetchKind::Refused), Now - 1000);
        keeper.Record(Url, rtl::Gb("聊天大厅"), Outcome(FetchKind::Refused), Now);
        EXPECT_TRUE(keeper.Persistent());
        EXPECT_EQ(problems, 0);
        EXPECT_EQ(Query(Db(), "PRAGMA journal_mode"), "wal");
        keeper.Close(Now);
    }
    // The last connection folds the log back into the file.
    EXPECT_EQ(FilesIn(Folder.Path()), std::vector<std::string>{"perchly.db"});
    EXPECT_EQ(Query(Db(), "PRAGMA user_version"),
              std::to_string(app::THealthStore::SchemaVersion()));
    EXPECT_EQ(Query(Db(), "SELECT COUNT(*) FROM site"), "1");
    EXPECT_EQ(Query(Db(), "SELECT name FROM site"), "聊天大厅");
    EXPECT_EQ(Query(Db(), "SELECT group_concat(checks || '/' || failures) FROM site_day"),
              "1/0,3/2");

    app::THealthKeeper again(Db());
    again.Open(Now + 1000);
    const app::SiteHealth* site = again.Book().Find(Url);
    ASSERT_NE(site, nullptr);
    ASSERT_TRUE(site->Last);
    EXPECT_EQ(site->Name, rtl::Gb("聊天大厅"));
    EXPECT_EQ(site->Last->TimeUtcMs, Now);
    EXPECT_TRUE(site->Last->Failed);
    EXPECT_EQ(site->Last->Kind, FetchKind::Refused);
    EXPECT_EQ(site->Last->Text, "Connection Failed");
    EXPECT_EQ(site->Last->Sentence, rtl::Gb("连接被拒绝: 该端口没有服务"));
    EXPECT_EQ(site->Last->DurationMs, 12);
    EXPECT_EQ(site->FailuresInARow, 2);
    EXPECT_EQ(app::StateOf(site), app::HealthState::Failing);
    // The check of two days ago is no longer among the last 24 hours.
    const app::CheckCounts day = again.Book().Last24Hours(Url, Now + 1000);
    EXPECT_EQ(day.Checks, 3);
    EXPECT_EQ(day.Failures, 2);
}

TEST_F(HealthKeeping, StreaksTurnOnceDaysPastKeepingGoAndTheClockMayGoBack) {
    app::THealthKeeper keeper(Db());
    keeper.Open(Now);
    const int64_t old = Now - (app::THealthStore::DaysKept + 1) * MillisecondsPerDay;
    keeper.Record("http://old/", "Old", Outcome(FetchKind::Ok), old);
    EXPECT_EQ(Query(Db(), "SELECT COUNT(*) FROM site_day"), "1");

    std::vector<app::HealthTurn> turns;
    for (int i = 0; i < 5; ++i)
        turns.push_back(keeper.Record(Url, "Room", Outcome(FetchKind::Refused), Now + i * 1000));
    // Ended by the window: nothing recorded, the streak unbroken.
    turns.push_back(keeper.Record(Url, "Room", Outcome(FetchKind::Canceled), Now + 5000));
    turns.push_back(keeper.Record(Url, "Room", Outcome(FetchKind::Ok), Now + 6000));
    turns.push_back(keeper.Record(Url, "Room", Outcome(FetchKind::Refused), Now + 7000));
    using app::HealthTurn;
    EXPECT_EQ(turns,
              (std::vector<HealthTurn>{HealthTurn::None, HealthTurn::None, HealthTurn::Broken,
                                       HealthTurn::None, HealthTurn::None, HealthTurn::None,
                                       HealthTurn::Recovered, HealthTurn::None}));
    // The day of the site not checked for over 400 days went with the site.
    EXPECT_EQ(Query(Db(), "SELECT COUNT(*) FROM site WHERE url = 'http://old/'"), "0");
    EXPECT_EQ(Query(Db(), "SELECT SUM(checks) FROM site_day"), "7");

    // The clock set back by a day: the check is recorded as made then, the
    // counts of the hours "ahead" leave the last 24 hours, nothing breaks.
    const int64_t back = Now - MillisecondsPerDay;
    keeper.Record(Url, "Room", Outcome(FetchKind::Refused), back);
    const app::SiteHealth* site = keeper.Book().Find(Url);
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->Last->TimeUtcMs, back);
    EXPECT_EQ(site->FailuresInARow, 2);
    EXPECT_EQ(keeper.Book().Last24Hours(Url, back).Checks, 1);
    EXPECT_TRUE(keeper.Persistent());
    EXPECT_EQ(Query(Db(), "SELECT SUM(checks) FROM site_day"), "8");
}

enum class Bad { Corrupt, Truncated, NewerSchema, Locked, ReadOnlyFolder };

struct BadCase {
    const char* Name;
    Bad How;
    const char* Says;  // part of the message, UTF-8
};

void PrintTo(const BadCase& c, std::ostream* out) {
    *out << c.Name;
}

class BadDatabase : public HealthKeeping, public testing::WithParamInterface<BadCase> {
protected:
    // A database of the current version with one site, closed.
    void WriteGoodFile() {
        app::THealthKeeper keeper(Db());
        keeper.Open(Now);
        for (int i = 0; i < 300; ++i)
            keeper.Record("http://site" + std::to_string(i) + "/", "S", Outcome(FetchKind::Ok),
                          Now - i * MillisecondsPerDay / 2);
        keeper.Close(Now);
    }
};

// Three failed checks with the database in a bad state, as the window makes
// them; 0 when the book holds all three.
int RecordThroughTrouble(app::THealthKeeper& keeper, int& problems, std::string& message) {
    keeper.OnProblem = [&](const std::string& text) {
        ++problems;
        message = text;
    };
    keeper.RetryPause = std::chrono::milliseconds(0);
    keeper.Open(Now);
    for (int i = 0; i < 3; ++i)
        keeper.Record(Url, "Room", Outcome(FetchKind::Refused), Now + i * 1000);
    const app::SiteHealth* site = keeper.Book().Find(Url);
    return site && site->FailuresInARow == 3 ? 0 : 1;
}

TEST_P(BadDatabase, MonitoringGoesOnWithOneMessageAndTheListsUntouched) {
    const BadCase& c = GetParam();
    const std::string ini = "[TargetSite]\r\nSite0=Room\r\nSite0Url=" + Url + "\r\n";
    WriteFile(Folder.File("perchly.ini"), ini);
    WriteGoodFile();
    std::string before;
    sqlite3* holder = nullptr;
    switch (c.How) {
        case Bad::Corrupt:
            WriteFile(Db(), std::string(8192, 'x'));
            break;
        case Bad::Truncated:
            std::filesystem::resize_file(Db(), std::filesystem::file_size(Db()) / 2);
            break;
        case Bad::NewerSchema:
            ASSERT_EQ(sqlite3_open(Db().c_str(), &holder), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(holder, "PRAGMA user_version = 99", nullptr, nullptr, nullptr),
                      SQLITE_OK);
            sqlite3_close(holder);
            holder = nullptr;
            break;
        case Bad::Locked:
            // Another program holds the file for as long as it likes.
            ASSERT_EQ(sqlite3_open(Db().c_str(), &holder), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(holder, "PRAGMA journal_mode = WAL; BEGIN EXCLUSIVE", nullptr,
                                   nullptr, nullptr),
                      SQLITE_OK);
            break;
        case Bad::ReadOnlyFolder:
            break;
    }
    before = ReadFile(Db());

    int problems = 0;
    std::string message;
    if (c.How == Bad::ReadOnlyFolder) {
        // Root ignores the folder's mode: the keeper runs as another user.
        ASSERT_EQ(::chmod(Folder.Path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(Db().c_str(), 0644), 0);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(Folder.Path().c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chmod(Folder.Path().c_str(), 0555), 0);
        const std::string db = Db();
        const int code = testsupport::RunUnprivileged([&] {
            app::THealthKeeper keeper(db);
            int seen = 0;
            std::string text;
            if (RecordThroughTrouble(keeper, seen, text) != 0)
                return 1;
            if (seen != 1 || keeper.Persistent())
                return 2;
            return text.find(rtl::Gb(c.Says)) == std::string::npos ? 3 : 0;
        });
        ::chmod(Folder.Path().c_str(), 0755);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(ReadFile(Db()), before);
    } else {
        app::THealthKeeper keeper(Db());
        EXPECT_EQ(RecordThroughTrouble(keeper, problems, message), 0);
        EXPECT_EQ(problems, 1) << "one message, not one per check";
        EXPECT_NE(message.find(rtl::Gb(c.Says)), std::string::npos)
            << rtl::FromGb(message).toStdString();
        EXPECT_NE(message.find(rtl::Gb("监控照常进行")), std::string::npos);

        if (c.How == Bad::Corrupt || c.How == Bad::Truncated) {
            // Kept aside as it was; the new file holds what was recorded since.
            std::string aside;
            for (const std::string& name : FilesIn(Folder.Path()))
                if (name.rfind("perchly.db.corrupt-", 0) == 0)
                    aside = name;
            ASSERT_FALSE(aside.empty());
            EXPECT_EQ(ReadFile(Folder.File(aside)), before);
            EXPECT_TRUE(keeper.Persistent());
            keeper.Close(Now);
            EXPECT_EQ(Query(Db(), "SELECT failures_in_a_row FROM site"), "3");
        } else if (c.How == Bad::NewerSchema) {
            EXPECT_FALSE(keeper.Persistent());
            keeper.Close(Now);
            EXPECT_EQ(ReadFile(Db()), before) << "a newer program's file is left as it was";
        } else {
            EXPECT_FALSE(keeper.Persistent());
            // Once the other program lets go, what was kept in memory is written.
            sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
            keeper.Record(Url, "Room", Outcome(FetchKind::Refused), Now + 3000);
            EXPECT_TRUE(keeper.Persistent());
            EXPECT_EQ(problems, 1);
            keeper.Close(Now);
            EXPECT_EQ(Query(Db(), "SELECT failures_in_a_row FROM site WHERE url = '" + Url + "'"),
                      "4");
        }
    }
    EXPECT_EQ(ReadFile(Folder.File("perchly.ini")), ini);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadDatabase,
    testing::Values(BadCase{"Corrupt", Bad::Corrupt, "已损坏"},
                    BadCase{"Truncated", Bad::Truncated, "已损坏"},
                    BadCase{"NewerSchema", Bad::NewerSchema,
                            "来自更新版本的 Perchly (数据库版本 99)"},
                    BadCase{"Locked", Bad::Locked, "被另一个程序占用"},
                    BadCase{"ReadOnlyFolder", Bad::ReadOnlyFolder, "无法写入站点状态数据库"}),
    [](const testing::TestParamInfo<BadCase>& param) { return std::string(param.param.Name); });

}  // namespace
