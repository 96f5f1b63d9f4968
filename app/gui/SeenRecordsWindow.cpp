#include "app/gui/SeenRecordsWindow.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "app/gui/DesktopServices.h"
#include "app/gui/WeekGridWidget.h"
#include "app/watch/HealthKeeper.h"
#include "app/watch/PresenceText.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "rtl/TextFile.h"

namespace app {

using rtl::Gb;

namespace {

enum Column { NameColumn, SiteColumn, FromColumn, ToColumn, LengthColumn, ChecksColumn, Columns };

QString Text(const char* utf8) {
    return rtl::FromGb(Gb(utf8));
}

QString SiteName(const PresenceRecords::Site& site) {
    return rtl::FromGb(site.Name.empty() ? site.Url : site.Name);
}

QString FullTime(int64_t utcMs) {
    return QDateTime::fromMSecsSinceEpoch(utcMs).toString("yyyy-MM-dd HH:mm");
}

}  // namespace

// The shown spans as rows. Texts are made only for the rows on the screen, so
// a table of 200,000 spans costs no more to show than one of twenty.
class TSeenRecordsModel : public QAbstractTableModel {
public:
    TSeenRecordsModel(const PresenceRecords& records, const std::vector<size_t>& shown)
        : FRecords(records), FShown(shown) {}

    // Takes up new records or a new filter; now is the moment "今天" refers to.
    void Reset(int64_t nowUtcMs) {
        beginResetModel();
        FNowMs = nowUtcMs;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(FShown.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : Columns;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char* const titles[Columns] = {"昵称", "站点", "从", "到", "时长", "次数"};
        return section >= 0 && section < Columns ? Text(titles[section]) : QVariant();
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(FShown.size()))
            return {};
        const PresenceRecords::Row& row = FRecords.Spans[FShown[static_cast<size_t>(index.row())]];
        const PresenceRecords::Site& site = FRecords.Sites[static_cast<size_t>(row.Site)];
        if (role == Qt::TextAlignmentRole && index.column() == ChecksColumn)
            return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole) {
            switch (index.column()) {
                case SiteColumn:
                    return rtl::FromGb(site.Url);
                case FromColumn:
                    return FullTime(row.FirstSeenMs);
                case ToColumn:
                    return row.Open ? Text("仍在, 最近一次检查 ") + FullTime(row.LastSeenMs)
                                    : FullTime(row.LastSeenMs);
                default:
                    return {};
            }
        }
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
            case NameColumn:
                return rtl::FromGb(FRecords.Names[static_cast<size_t>(row.Name)]);
            case SiteColumn:
                return SiteName(site);
            case FromColumn:
                return rtl::FromGb(SeenDayTimeText(row.FirstSeenMs, FNowMs));
            case ToColumn:
                return row.Open ? Text("现在")
                                : rtl::FromGb(SeenDayTimeText(row.LastSeenMs, FNowMs));
            case LengthColumn:
                return rtl::FromGb(SpanLengthText(row.LastSeenMs - row.FirstSeenMs));
            case ChecksColumn:
                return QString::number(row.Checks);
            default:
                return {};
        }
    }

private:
    const PresenceRecords& FRecords;
    const std::vector<size_t>& FShown;
    int64_t FNowMs = 0;
};

TSeenRecordsWindow::TSeenRecordsWindow(THealthKeeper& keeper, DesktopServices& desktop,
                                       QWidget* parent)
    : QDialog(parent),
      FKeeper(keeper),
      FDesktop(desktop),
      FModel(std::make_unique<TSeenRecordsModel>(FRecords, FShown)) {
    setObjectName("SeenRecords");
    setWindowTitle(Text("出现记录"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    setModal(false);
    if (parent)
        setFont(parent->font());

    auto* filters = new QHBoxLayout;
    auto* nameLabel = new QLabel(Text("昵称(&N):"), this);
    FNames = new QComboBox(this);
    FNames->setObjectName("NameFilter");
    FNames->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    FNames->setMinimumContentsLength(8);
    nameLabel->setBuddy(FNames);
    auto* siteLabel = new QLabel(Text("站点(&S):"), this);
    FSites = new QComboBox(this);
    FSites->setObjectName("SiteFilter");
    FSites->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    FSites->setMinimumContentsLength(10);
    siteLabel->setBuddy(FSites);
    FCount = new QLabel(this);
    FCount->setObjectName("CountLabel");
    filters->addWidget(nameLabel);
    filters->addWidget(FNames);
    filters->addSpacing(12);
    filters->addWidget(siteLabel);
    filters->addWidget(FSites);
    filters->addStretch(1);
    filters->addWidget(FCount);

    FProblem = new QLabel(this);
    FProblem->setObjectName("ProblemLabel");
    FProblem->setWordWrap(true);
    FProblem->setTextFormat(Qt::PlainText);
    FProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FProblem->setVisible(false);

    FTable = new QTableView(this);
    FTable->setObjectName("SpanTable");
    FTable->setModel(FModel.get());
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTable->setSelectionMode(QAbstractItemView::SingleSelection);
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTable->setWordWrap(false);
    FTable->setAlternatingRowColors(true);
    FTable->setCornerButtonEnabled(false);
    // Every row as high as the next, and no column measured over its rows:
    // either would walk all 200,000 spans each time the table is filled.
    QHeaderView* rows = FTable->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* header = FTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    const QFontMetrics metrics = fontMetrics();
    const int pad = 3 * metrics.horizontalAdvance(' ') + 12;
    const int timeWidth = metrics.horizontalAdvance("2025-12-01 08:15") + pad;
    header->resizeSection(NameColumn, metrics.horizontalAdvance(Text("一二三四五六七")) + pad);
    header->resizeSection(SiteColumn, metrics.horizontalAdvance(Text("一二三四五六七八九")) + pad);
    header->resizeSection(FromColumn, timeWidth);
    header->resizeSection(ToColumn, timeWidth);
    header->resizeSection(LengthColumn, metrics.horizontalAdvance(Text("23 小时 59 分钟")) + pad);
    header->resizeSection(ChecksColumn, metrics.horizontalAdvance("00000") + pad);
    header->setSectionResizeMode(SiteColumn, QHeaderView::Stretch);

    FGrid = new TWeekGridWidget(this);

    FExport = new QPushButton(Text("导出 CSV(&E)..."), this);
    FExport->setObjectName("ExportButton");
    FExport->setToolTip(Text("把表中显示的记录存成 CSV 文件 (UTF-8), 可用表格程序打开"));
    FClear = new QPushButton(Text("清除记录(&D)..."), this);
    FClear->setObjectName("ClearButton");
    FClear->setToolTip(Text("删除所选昵称 (或所有昵称) 的全部出现记录, 删除前会先问"));
    auto* close = new QPushButton(Text("关闭"), this);
    close->setObjectName("CloseButton");
    close->setAutoDefault(false);
    FExport->setAutoDefault(false);
    FClear->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(FExport);
    buttons->addWidget(FClear);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(FProblem);
    layout->addWidget(FTable, 1);
    layout->addWidget(FGrid);
    layout->addLayout(buttons);
    resize(760, 560);

    const auto filterChanged = [this] { rtl::SafeCall([this] { ApplyFilter(); }); };
    connect(FNames, &QComboBox::currentIndexChanged, this, filterChanged);
    connect(FSites, &QComboBox::currentIndexChanged, this, filterChanged);
    connect(FExport, &QPushButton::clicked, this,
            [this] { rtl::SafeCall([this] { ExportCsv(); }); });
    connect(FClear, &QPushButton::clicked, this,
            [this] { rtl::SafeCall([this] { ClearRecords(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    Refresh();
}

TSeenRecordsWindow::~TSeenRecordsWindow() {
    // The model goes first, while the view that shows it is still there.
    FTable->setModel(nullptr);
}

void TSeenRecordsWindow::Refresh() {
    const int32_t name = ChosenName();
    const int32_t site = ChosenSite();
    const std::string chosenName = name >= 0 ? FRecords.Names[static_cast<size_t>(name)] : "";
    const std::string chosenUrl = site >= 0 ? FRecords.Sites[static_cast<size_t>(site)].Url : "";

    StoreProblem problem;
    // What could be read is shown, with the problem above it.
    FRecords = FKeeper.LoadPresence(problem);
    FLoadedAtMs = QDateTime::currentMSecsSinceEpoch();
    const bool failed = problem.What != StoreProblem::Kind::None;
    FProblem->setText(failed ? rtl::FromGb(StoreProblemMessage(problem, FDatabasePath)) : "");
    FProblem->setVisible(failed);
    FillFilters(chosenName, chosenUrl);
    ApplyFilter();
}

void TSeenRecordsWindow::FillFilters(const std::string& name, const std::string& url) {
    const QSignalBlocker blockNames(FNames);
    const QSignalBlocker blockSites(FSites);
    FNames->clear();
    FNames->addItem(Text("全部昵称"), -1);
    for (size_t i = 0; i < FRecords.Names.size(); ++i)
        FNames->addItem(rtl::FromGb(FRecords.Names[i]), static_cast<int>(i));
    FNames->setCurrentIndex(name.empty() ? 0 : FRecords.NameIndex(name) + 1);

    // Sites by the name the user gave them; the URL tells two of one name apart.
    std::vector<int> sites(FRecords.Sites.size());
    std::iota(sites.begin(), sites.end(), 0);
    std::stable_sort(sites.begin(), sites.end(), [this](int a, int b) {
        return SiteName(FRecords.Sites[static_cast<size_t>(a)]) <
               SiteName(FRecords.Sites[static_cast<size_t>(b)]);
    });
    FSites->clear();
    FSites->addItem(Text("全部站点"), -1);
    for (const int i : sites) {
        const PresenceRecords::Site& site = FRecords.Sites[static_cast<size_t>(i)];
        FSites->addItem(SiteName(site), i);
        FSites->setItemData(FSites->count() - 1, rtl::FromGb(site.Url), Qt::ToolTipRole);
    }
    const int32_t siteIndex = url.empty() ? -1 : FRecords.SiteIndex(url);
    FSites->setCurrentIndex(std::max(0, FSites->findData(siteIndex)));
}

int32_t TSeenRecordsWindow::ChosenName() const {
    return FNames->count() > 0 ? FNames->currentData().toInt() : -1;
}

int32_t TSeenRecordsWindow::ChosenSite() const {
    return FSites->count() > 0 ? FSites->currentData().toInt() : -1;
}

void TSeenRecordsWindow::ApplyFilter() {
    const int32_t name = ChosenName();
    const int32_t site = ChosenSite();
    FShown.clear();
    // The records are newest first already; filtering keeps their order.
    for (size_t i = 0; i < FRecords.Spans.size(); ++i) {
        const PresenceRecords::Row& row = FRecords.Spans[i];
        if ((name < 0 || row.Name == name) && (site < 0 || row.Site == site))
            FShown.push_back(i);
    }
    FModel->Reset(FLoadedAtMs);
    if (name >= 0)
        FGrid->SetGrid(PresenceWeekGrid(FRecords, name, FLoadedAtMs));
    else
        FGrid->ClearGrid();
    FCount->setText(FShown.size() == FRecords.Spans.size()
                        ? Text("共 ") + QString::number(FRecords.Spans.size()) + Text(" 段")
                        : Text("显示 ") + QString::number(FShown.size()) + Text(" 段, 共 ") +
                              QString::number(FRecords.Spans.size()) + Text(" 段"));
    FExport->setEnabled(!FShown.empty());
    FClear->setEnabled(!FRecords.Spans.empty());
}

void TSeenRecordsWindow::ExportCsv() {
    const int32_t name = ChosenName();
    QString file = Text("出现记录");
    if (name >= 0)
        file += "-" + rtl::FromGb(FRecords.Names[static_cast<size_t>(name)]).replace('/', '_');
    const std::string suggested =
        QFile::encodeName(QDir::home().filePath(file + ".csv")).toStdString();
    const std::string path =
        FDesktop.SaveFileName(this, Gb("导出出现记录"), suggested, Gb("CSV 文件 (*.csv)"));
    if (path.empty())
        return;
    // A new file replaces the old one only when it is written whole, so a
    // full disk leaves an earlier export as it was.
    if (!rtl::ReplaceWholeFile(path, PresenceCsv(FRecords, FShown))) {
        const std::string reason = rtl::ToGb(QString::fromLocal8Bit(std::strerror(errno)));
        FDesktop.ShowMessage(Gb("无法导出到 ") + rtl::GbFromPath(path) + ": " + reason +
                             Gb(".\n出现记录没有任何改动, 可以另选一个位置再导出."));
        return;
    }
    FDesktop.ShowNotice(this, Gb("已把 ") + std::to_string(FShown.size()) +
                                  Gb(" 段出现记录导出到 ") + rtl::GbFromPath(path));
}

void TSeenRecordsWindow::ClearRecords() {
    const int32_t index = ChosenName();
    const std::string name = index >= 0 ? FRecords.Names[static_cast<size_t>(index)] : "";
    const std::string question = index >= 0 ? Gb("清除 ") + name + Gb(" 的全部出现记录?")
                                            : Gb("清除所有昵称的全部出现记录?");
    if (FDesktop.MessageBox(this, question, Gb("清除记录"), DesktopServices::Buttons::YesNo,
                            DesktopServices::Icon::Question,
                            DesktopServices::DefaultButton::No) != DesktopServices::Answer::Yes)
        return;
    StoreProblem problem;
    if (!FKeeper.ClearPresence(index >= 0 ? &name : nullptr, problem))
        FDesktop.ShowMessage(Gb("出现记录没有清除: ") +
                             StoreProblemMessage(problem, FDatabasePath));
    Refresh();
}

}  // namespace app
