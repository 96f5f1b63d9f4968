// When and where each nickname was seen: how checks make spans, what the
// database keeps through a restart, a lock and a clear, the week grid and the
// reports of `perchly --seen`.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "app/watch/HealthKeeper.h"
#include "app/watch/Presence.h"
#include "app/watch/PresenceText.h"
#include "app/watch/SeenReport.h"
#include "rtl/GbText.h"
#include "tests/support/TestSupport.h"

namespace {

using app::PresenceCheck;
using app::PresenceSpan;
using rtl::Gb;

// 2026-12-09 05:00:00 UTC, a Wednesday.
constexpr int64_t Now = 1796792400000;
constexpr int64_t Minute = 60 * 1000;
constexpr int64_t Hour = 60 * Minute;
const std::string Hall = "http://127.0.0.1:9/hall";
const std::string Garden = "http://127.0.0.1:9/garden";

app::FetchOutcome Outcome(app::FetchKind kind) {
    app::FetchOutcome outcome;
    outcome.Kind = kind;
    if (kind == app::FetchKind::Refused)
        outcome.Text = "Connection Failed";
    return outcome;
}

PresenceCheck Check(std::vector<std::pair<std::string, bool>> names) {
    return PresenceCheck{std::move(names)};
}

// The spans of the records as "name@site first-last checks", minutes from Now.
std::vector<std::string> Spans(const app::PresenceRecords& records) {
    std::vector<std::string> out;
    for (const app::PresenceRecords::Row& row : records.Spans)
        out.push_back(records.Names[static_cast<size_t>(row.Name)] + "@" +
                      records.Sites[static_cast<size_t>(row.Site)].Name + " " +
                      std::to_string((row.FirstSeenMs - Now) / Minute) + ".." +
                      std::to_string((row.LastSeenMs - Now) / Minute) + " x" +
                      std::to_string(row.Checks) + (row.Open ? " open" : ""));
    return out;
}

class Presence : public testing::Test {
protected:
    std::string Db() const { return Folder.File("perchly.db"); }
    testsupport::TempFolder Folder;
};

TEST_F(Presence, ChecksOpenExtendAndEndSpansAndOnlyAGoodPageTellsWhoIsThere) {
    app::THealthKeeper keeper(Db());
    keeper.Open(Now);
    const auto ok = Outcome(app::FetchKind::Ok);
    const auto at = [](int minutes) { return Now + minutes * Minute; };
    PresenceCheck both = Check({{"Ann", true}, {"Bob", true}, {"Ann", false}});
    keeper.Record(Hall, "Hall", ok, at(0), &both);
    keeper.Record(Garden, "Garden", ok, at(1), &both);
    PresenceCheck annOnly = Check({{"Ann", true}, {"Bob", false}});
    keeper.Record(Hall, "Hall", ok, at(2), &annOnly);
    // A refused fetch and a 404 page end nothing.
    PresenceCheck nobody = Check({{"Ann", false}, {"Bob", false}});
    keeper.Record(Hall, "Hall", Outcome(app::FetchKind::Refused), at(3), &nobody);
    auto notFound = Outcome(app::FetchKind::HttpStatus);
    notFound.ReplyCode = 404;
    keeper.Record(Hall, "Hall", notFound, at(4), &nobody);
    keeper.Record(Hall, "Hall", ok, at(5), &annOnly);
    // Bob no longer watched: the check did not look for him, his span ends.
    PresenceCheck annWatched = Check({{"Ann", true}});
    keeper.Record(Garden, "Garden", ok, at(6), &annWatched);
    // A page cut at the length bound shows who is on it, not who is not.
    PresenceCheck cut = Check({{"Ann", false}});
    cut.Partial = true;
    keeper.Record(Garden, "Garden", ok, at(7), &cut);
    // After the computer slept three hours, and after the clock went back, a
    // sighting starts a span of its own.
    keeper.Record(Hall, "Hall", ok, at(185), &annOnly);
    keeper.Record(Hall, "Hall", ok, at(125), &annOnly);

    app::StoreProblem problem;
    EXPECT_EQ(Spans(keeper.LoadPresence(problem)),
              (std::vector<std::string>{"Ann@Hall 185..185 x1", "Ann@Hall 125..125 x1 open",
                                        "Ann@Garden 1..6 x2 open", "Ann@Hall 0..5 x3",
                                        "Bob@Garden 1..1 x1", "Bob@Hall 0..0 x1"}));
    EXPECT_EQ(problem.What, app::StoreProblem::Kind::None);
    ASSERT_NE(keeper.Presence().LastSeen("Ann"), nullptr);
    EXPECT_EQ(keeper.Presence().LastSeen("Ann")->LastSeenMs, at(125));
    EXPECT_EQ(keeper.Presence().LastSeen("Carol"), nullptr);
    keeper.Close(at(200));

    // A restart ends what was open (nobody watched meanwhile) and knows the
    // latest sighting of each name.
    app::THealthKeeper again(Db());
    again.Open(at(300));
    const PresenceSpan* bob = again.Presence().LastSeen("Bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->Url, Garden);
    const app::PresenceRecords records = again.LoadPresence(problem);
    for (const app::PresenceRecords::Row& row : records.Spans)
        EXPECT_FALSE(row.Open);
    PresenceCheck annBack = Check({{"Ann", true}});
    again.Record(Garden, "Garden", ok, at(301), &annBack);
    EXPECT_EQ(Spans(again.LoadPresence(problem)).front(), "Ann@Garden 301..301 x1 open");
}

TEST_F(Presence, ALockedFileLosesNoSpanAndClearingTakesOneNameOrAll) {
    const auto ok = Outcome(app::FetchKind::Ok);
    PresenceCheck check = Check({{Gb("小燕子"), true}, {"Bob", true}});
    app::THealthKeeper keeper(Db());
    keeper.RetryPause = std::chrono::milliseconds(0);
    keeper.Open(Now);
    keeper.Record(Hall, "Hall", ok, Now, &check);

    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Db().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    keeper.Record(Garden, "Garden", ok, Now + Minute, &check);
    EXPECT_FALSE(keeper.Persistent());
    app::StoreProblem problem;
    // The records window shows what waits to be written.
    EXPECT_EQ(keeper.LoadPresence(problem).Spans.size(), 4u);
    // A clear that cannot be written deletes nothing.
    EXPECT_FALSE(keeper.ClearPresence(nullptr, problem));
    EXPECT_NE(keeper.Presence().LastSeen("Bob"), nullptr);
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    keeper.Record(Garden, "Garden", ok, Now + 2 * Minute, &check);
    EXPECT_TRUE(keeper.Persistent());
    const std::string name = Gb("小燕子");
    problem = {};
    EXPECT_TRUE(keeper.ClearPresence(&name, problem));
    EXPECT_EQ(keeper.Presence().LastSeen(name), nullptr);
    keeper.Close(Now + 3 * Minute);

    app::THealthKeeper again(Db());
    again.Open(Now + 4 * Minute);
    EXPECT_EQ(Spans(again.LoadPresence(problem)),
              (std::vector<std::string>{"Bob@Garden 1..2 x2", "Bob@Hall 0..0 x1"}));
    EXPECT_TRUE(again.ClearPresence(nullptr, problem));
    EXPECT_TRUE(again.LoadPresence(problem).Spans.empty());
}

TEST(PresenceGrid, CountsEachLocalHourOnceADayOverEightWeeks) {
    // Local time 8 hours ahead of UTC; Now is Wednesday 13:00 local.
    const app::UtcOffset china = [](int64_t) { return 8 * Hour; };
    app::PresenceRecords records;
    records.Names = {"Ann", "Bob"};
    records.Sites = {{Hall, "Hall"}, {Garden, "Garden"}};
    const auto row = [](int32_t name, int32_t site, int64_t from, int64_t to) {
        return app::PresenceRecords::Row{name, site, from, to, 2, false};
    };
    // Today 12:50-13:00 local on two sites (one hour cell twice: counts once),
    // last Wednesday 11:30-12:10, nine weeks ago (outside), and Bob.
    records.Spans = {
        row(0, 0, Now - 10 * Minute, Now), row(0, 1, Now - 5 * Minute, Now),
        row(0, 0, Now - 7 * 24 * Hour - 90 * Minute, Now - 7 * 24 * Hour - 50 * Minute),
        row(0, 0, Now - 63 * 24 * Hour, Now - 63 * 24 * Hour + Hour),
        row(1, 0, Now - 3 * Hour, Now)};
    const app::WeekGrid grid = app::PresenceWeekGrid(records, 0, Now, china);
    const int wednesday = 2;
    EXPECT_EQ(grid[wednesday][12], 2);
    EXPECT_EQ(grid[wednesday][13], 1);
    EXPECT_EQ(grid[wednesday][11], 1);
    int total = 0;
    for (const auto& day : grid)
        for (const int cell : day)
            total += cell;
    EXPECT_EQ(total, 4);
}

TEST(PresenceText, TooltipsCsvAndTheSeenReportSayWhenAndWhere) {
    const PresenceSpan span{"Ann", Hall, Now - 25 * Minute, Now - 5 * Minute, 9, false};
    const std::string tip = app::LastSeenText(&span, Gb("聊天大厅"), Now);
    EXPECT_NE(tip.find(Gb(", 聊天大厅 (在线约 20 分钟)")), std::string::npos) << tip;
    EXPECT_EQ(app::LastSeenText(nullptr, "", Now), Gb("从未出现"));
    EXPECT_EQ(app::SpanLengthText(125 * Minute), Gb("2 小时 5 分钟"));

    app::PresenceRecords records;
    records.Names = {Gb("小燕子")};
    records.Sites = {{Hall, Gb("大厅, \"一\"")}};
    records.Spans = {{0, 0, Now - 25 * Minute, Now, 3, false}};
    const std::string csv = app::PresenceCsv(records, {0});
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "昵称,站点,网址,开始,结束,分钟,检查次数");
    EXPECT_NE(csv.find("小燕子,\"大厅, \"\"一\"\"\"," + Hall + ","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",25,3\r\n"), std::string::npos) << csv;

    app::WatchState state;
    state.Targets[0] = {Gb("小燕子"), 1};
    state.Targets[1] = {"Bob", 0};
    state.Sites[0] = {Gb("聊天大厅"), Hall, 1};
    app::NameSighting sighting{{Gb("小燕子"), Hall, Now - Hour, Now, 4, false}, "old", 2};
    const std::string json = app::SeenJson(app::ReportSeen(state, {sighting}));
    EXPECT_NE(
        json.find("{\"targets\": [{\"name\": \"小燕子\", \"watched\": true, \"last_seen\": \""),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"last_site\": \"聊天大厅\", \"spans_30d\": 2}, {\"name\": \"Bob\", "
                        "\"watched\": false, \"last_seen\": null, \"last_site\": null, "
                        "\"spans_30d\": 0}]}"),
              std::string::npos)
        << json;
}

}  // namespace
