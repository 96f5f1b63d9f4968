#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "app/watch/Presence.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace app {

class DesktopServices;
class THealthKeeper;
class TSeenRecordsModel;
class TWeekGridWidget;

// The window 出现记录: every span in which a nickname was seen, newest first,
// filtered by nickname and by site, with the chosen nickname's week by hour
// below; the shown spans can be exported as CSV, and a nickname's records (or
// all of them) cleared. It does not wait for an answer: monitoring goes on
// while it is open. The spans are read once per Refresh and filtered in
// memory, since a year of checks holds some 200,000 of them.
class TSeenRecordsWindow : public QDialog {
public:
    TSeenRecordsWindow(THealthKeeper& keeper, DesktopServices& desktop, QWidget* parent);
    ~TSeenRecordsWindow() override;
    TSeenRecordsWindow(const TSeenRecordsWindow&) = delete;
    TSeenRecordsWindow& operator=(const TSeenRecordsWindow&) = delete;

    // Reads the spans afresh from the keeper; the chosen nickname and site
    // stay chosen while they still have records.
    void Refresh();
    // The database file the keeper writes (as the file system spells it), named
    // in the messages about it; the keeper does not tell.
    void SetDatabasePath(std::string path) { FDatabasePath = std::move(path); }

    // Writes the shown spans to a file the user picks.
    void ExportCsv();
    // Asks, then deletes the chosen nickname's spans, or every span.
    void ClearRecords();

    const PresenceRecords& Records() const { return FRecords; }
    // The shown spans: indices into Records().Spans, in the table's order.
    const std::vector<size_t>& ShownRows() const { return FShown; }

    QComboBox* NameFilter() const { return FNames; }
    QComboBox* SiteFilter() const { return FSites; }
    QTableView* Table() const { return FTable; }
    TWeekGridWidget* WeekGridView() const { return FGrid; }
    QLabel* ProblemLabel() const { return FProblem; }
    QPushButton* ExportButton() const { return FExport; }
    QPushButton* ClearButton() const { return FClear; }

private:
    void FillFilters(const std::string& name, const std::string& url);
    void ApplyFilter();
    // The chosen nickname's index in Records().Names, -1 for every nickname.
    int32_t ChosenName() const;
    int32_t ChosenSite() const;

    THealthKeeper& FKeeper;
    DesktopServices& FDesktop;
    std::string FDatabasePath = "perchly.db";
    PresenceRecords FRecords;
    std::vector<size_t> FShown;
    int64_t FLoadedAtMs = 0;

    QComboBox* FNames = nullptr;
    QComboBox* FSites = nullptr;
    QLabel* FCount = nullptr;
    QLabel* FProblem = nullptr;
    QTableView* FTable = nullptr;
    std::unique_ptr<TSeenRecordsModel> FModel;
    TWeekGridWidget* FGrid = nullptr;
    QPushButton* FExport = nullptr;
    QPushButton* FClear = nullptr;
};

}  // namespace app
