// The window 出现记录 over a real perchly.db: the filters pick the right
// spans in the right order, the export writes what is shown or says why it
// could not, and clearing asks first and deletes only what it said.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/gui/SeenRecordsWindow.h"
#include "app/gui/WeekGridWidget.h"
#include "app/watch/HealthKeeper.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace {

using Answer = app::DesktopServices::Answer;
using rtl::Gb;

constexpr int64_t Minute = 60 * 1000;
constexpr int64_t Day = 24 * 60 * Minute;
const std::string Hall = "http://127.0.0.1:9/hall";
const std::string Garden = "http://127.0.0.1:9/garden";

class SeenRecordsWindowTest : public testing::Test {
protected:
    SeenRecordsWindowTest() : Keeper(Folder.File("perchly.db")) { Keeper.Open(Now); }

    // One good check of a site that looked for both nicknames.
    void Check(const std::string& url, int64_t time, bool swallow, bool ming) {
        app::PresenceCheck check;
        check.Names = {{Gb("小燕子"), swallow}, {Gb("阿明"), ming}};
        const std::string site = url == Hall ? Gb("聊天大厅") : Gb("花园");
        Keeper.Record(url, site, app::FetchOutcome{}, time, &check);
    }

    // Four spans, newest first: 小燕子 in the garden (still there), 阿明 in the
    // hall, 阿明 in the garden, 小燕子 in the hall.
    void FillFourSpans() {
        const int64_t start = Now - 3 * Day;
        Check(Hall, start, true, false);
        Check(Hall, start + 5 * Minute, true, false);
        Check(Hall, start + 10 * Minute, false, false);
        Check(Garden, start + Day, false, true);
        Check(Garden, start + Day + 10 * Minute, false, false);
        Check(Hall, start + 2 * Day, false, true);
        Check(Hall, start + 2 * Day + 5 * Minute, false, false);
        Check(Garden, Now - 30 * Minute, true, false);
    }

    static std::string Cell(app::TSeenRecordsWindow& window, int row, int column) {
        const QAbstractItemModel* model = window.Table()->model();
        return rtl::ToGb(model->index(row, column).data().toString());
    }
    // The shown rows as "name@site".
    static std::vector<std::string> Rows(app::TSeenRecordsWindow& window) {
        std::vector<std::string> rows;
        for (int row = 0; row < window.Table()->model()->rowCount(); ++row)
            rows.push_back(Cell(window, row, 0) + "@" + Cell(window, row, 1));
        return rows;
    }
    static void Choose(QComboBox* combo, const char* utf8) {
        const int index = combo->findText(QString::fromUtf8(utf8));
        ASSERT_GE(index, 0) << utf8;
        combo->setCurrentIndex(index);
    }

    const int64_t Now = QDateTime::currentMSecsSinceEpoch();
    testsupport::TempFolder Folder;
    app::THealthKeeper Keeper;
    testsupport::FakeDesktopServices Desktop;
};

TEST_F(SeenRecordsWindowTest, FiltersShowTheRightSpansNewestFirst) {
    FillFourSpans();
    app::TSeenRecordsWindow window(Keeper, Desktop, nullptr);
    const std::string swallowGarden = Gb("小燕子@花园"), mingHall = Gb("阿明@聊天大厅"),
                      mingGarden = Gb("阿明@花园"), swallowHall = Gb("小燕子@聊天大厅");

    EXPECT_EQ(window.NameFilter()->count(), 3);
    EXPECT_EQ(window.SiteFilter()->count(), 3);
    EXPECT_EQ(Rows(window),
              (std::vector<std::string>{swallowGarden, mingHall, mingGarden, swallowHall}));
    EXPECT_EQ(Cell(window, 0, 3), Gb("现在"));  // still there
    EXPECT_NE(Cell(window, 3, 3), Gb("现在"));
    EXPECT_EQ(Cell(window, 3, 5), "2");
    EXPECT_FALSE(window.WeekGridView()->Grid().has_value());
    EXPECT_FALSE(window.ProblemLabel()->isVisibleTo(&window));

    Choose(window.NameFilter(), "小燕子");
    EXPECT_EQ(Rows(window), (std::vector<std::string>{swallowGarden, swallowHall}));
    ASSERT_TRUE(window.WeekGridView()->Grid().has_value());
    int hours = 0;
    for (const auto& day : *window.WeekGridView()->Grid())
        for (const int days : day)
            hours += days;
    EXPECT_GE(hours, 2);

    Choose(window.NameFilter(), "全部昵称");
    Choose(window.SiteFilter(), "花园");
    EXPECT_EQ(Rows(window), (std::vector<std::string>{swallowGarden, mingGarden}));
    EXPECT_EQ(window.SiteFilter()->currentData(Qt::ToolTipRole).toString().toStdString(), Garden);
    Choose(window.NameFilter(), "阿明");
    Choose(window.SiteFilter(), "聊天大厅");
    EXPECT_EQ(Rows(window), (std::vector<std::string>{mingHall}));

    // A new check shows up at the next refresh, under the same filters.
    Check(Hall, Now, false, true);
    window.Refresh();
    EXPECT_EQ(window.NameFilter()->currentText(), QString::fromUtf8("阿明"));
    EXPECT_EQ(Rows(window), (std::vector<std::string>{mingHall, mingHall}));

    // A database that cannot be opened: the window says so and shows what
    // the keeper still holds in memory.
    app::THealthKeeper lost(Folder.File("missing/perchly.db"));
    lost.Open(Now);
    app::PresenceCheck check;
    check.Names = {{Gb("小燕子"), true}};
    lost.Record(Hall, Gb("聊天大厅"), app::FetchOutcome{}, Now, &check);
    app::TSeenRecordsWindow troubled(lost, Desktop, nullptr);
    EXPECT_TRUE(troubled.ProblemLabel()->isVisibleTo(&troubled));
    EXPECT_FALSE(troubled.ProblemLabel()->text().isEmpty());
    EXPECT_EQ(troubled.Table()->model()->rowCount(), 1);
}

TEST_F(SeenRecordsWindowTest, ExportAndClearAskAndFailSafely) {
    FillFourSpans();
    app::TSeenRecordsWindow window(Keeper, Desktop, nullptr);
    Choose(window.NameFilter(), "小燕子");

    // The shown spans, as UTF-8 with a header line.
    Desktop.SaveFileNames = {Folder.File("seen.csv")};
    window.ExportButton()->click();
    ASSERT_EQ(Desktop.SaveFileDialogs.size(), 1u);
    const std::string csv = testsupport::ReadFile(Folder.File("seen.csv"));
    EXPECT_EQ(csv.rfind("昵称,站点,网址,开始,结束,分钟,检查次数\r\n", 0), 0u) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    EXPECT_NE(csv.find("小燕子,花园,"), std::string::npos);
    EXPECT_EQ(csv.find("阿明"), std::string::npos);
    EXPECT_TRUE(Desktop.Messages.empty());

    // Cancelled: nothing written, nothing said.
    window.ExportButton()->click();
    EXPECT_TRUE(Desktop.Messages.empty());

    // A folder that is not there: a message with the path and the reason.
    const std::string unwritable = Folder.File("missing/seen.csv");
    Desktop.SaveFileNames = {unwritable};
    window.ExportButton()->click();
    ASSERT_EQ(Desktop.Messages.size(), 1u);
    EXPECT_NE(Desktop.Messages[0].find(unwritable), std::string::npos) << Desktop.Messages[0];
    EXPECT_NE(Desktop.Messages[0].find(std::strerror(ENOENT)), std::string::npos);
    EXPECT_EQ(window.Records().Spans.size(), 4u);

    // No keeps everything; the question names the nickname, No by default.
    Desktop.Answers = {Answer::No};
    window.ClearButton()->click();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 1u);
    EXPECT_EQ(Desktop.MessageBoxes[0].Text, Gb("清除 小燕子 的全部出现记录?"));
    EXPECT_EQ(Desktop.MessageBoxes[0].ButtonSet, app::DesktopServices::Buttons::YesNo);
    EXPECT_EQ(Desktop.MessageBoxes[0].Default, app::DesktopServices::DefaultButton::No);
    EXPECT_EQ(window.Records().Spans.size(), 4u);

    // Yes deletes that nickname's spans only, in the file too.
    Desktop.Answers = {Answer::Yes};
    window.ClearButton()->click();
    EXPECT_EQ(window.NameFilter()->currentIndex(), 0);
    EXPECT_EQ(window.Records().Names, std::vector<std::string>{Gb("阿明")});
    EXPECT_EQ(window.Table()->model()->rowCount(), 2);
    Keeper.Close(Now);
    app::THealthKeeper reopened(Folder.File("perchly.db"));
    reopened.Open(Now);
    app::StoreProblem problem;
    EXPECT_EQ(reopened.LoadPresence(problem).Spans.size(), 2u);

    // With every nickname shown, the question is about all of them.
    Desktop.Answers = {Answer::No};
    window.ClearButton()->click();
    ASSERT_EQ(Desktop.MessageBoxes.size(), 3u);
    EXPECT_EQ(Desktop.MessageBoxes[2].Text, Gb("清除所有昵称的全部出现记录?"));
}

}  // namespace
