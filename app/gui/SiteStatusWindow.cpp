#include "app/gui/SiteStatusWindow.h"

#include <QHeaderView>
#include <QTableWidgetItem>

#include "app/gui/HealthMarks.h"
#include "app/gui/Unit1.h"
#include "app/watch/CertificateAdvice.h"
#include "app/watch/HealthText.h"
#include "app/watch/StatusReport.h"
#include "net/TrustFolder.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_SiteStatus.h"

namespace app {
namespace {

enum Column {
    NameColumn,
    StateColumn,
    TimeColumn,
    ReasonColumn,
    RowColumn,
    ChecksColumn,
    FailuresColumn
};

QTableWidgetItem* Cell(const std::string& gbText) {
    auto* cell = new QTableWidgetItem(rtl::FromGb(gbText));
    cell->setToolTip(cell->text());
    return cell;
}

QTableWidgetItem* Number(int64_t value) {
    auto* cell = new QTableWidgetItem(QString::number(value));
    cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return cell;
}

std::string ReasonOf(const SiteReport& site) {
    if (!site.Last || site.Last->Sentence.empty())
        return {};
    return site.Last->Sentence + (site.Last->Text.empty() ? "" : " (" + site.Last->Text + ")");
}

}  // namespace

TSiteStatusWindow::TSiteStatusWindow(TForm1& form)
    : QDialog(&form), ui(std::make_unique<Ui::TSiteStatus>()), FForm(form) {
    ui->setupUi(this);
    setObjectName("SiteStatus");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    setModal(false);
    setFont(form.font());
    QHeaderView* header = ui->StatusTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ReasonColumn, QHeaderView::Stretch);
    ui->StatusTable->verticalHeader()->hide();
    connect(ui->CloseButtons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(ui->StatusTable, &QTableWidget::itemSelectionChanged, this, [this] { ShowDetails(); });
    connect(&FAging, &QTimer::timeout, this, [this] { Refresh(); });
    connect(ui->TrustButton, &QPushButton::clicked, this,
            [this] { rtl::SafeCall([this] { TrustShownCertificate(); }); });
    FAging.start(30 * 1000);
    Refresh();
}

TSiteStatusWindow::~TSiteStatusWindow() = default;

void TSiteStatusWindow::Refresh() {
    const int64_t now = FForm.WallClock();
    const std::vector<SiteReport> sites = ReportSites(FForm.State(), FForm.Health(), now);
    const int selected = ui->StatusTable->currentRow();
    QTableWidget* table = ui->StatusTable;
    table->setRowCount(static_cast<int>(sites.size()));
    for (int row = 0; row < static_cast<int>(sites.size()); ++row) {
        const SiteReport& site = sites[static_cast<size_t>(row)];
        QTableWidgetItem* name = Cell(site.Name);
        name->setIcon(HealthMark(site.State));
        name->setToolTip(rtl::FromGb(site.Url));
        std::string state = site.StateText;
        if (!site.Watched)
            state += rtl::Gb(" (未选中)");
        table->setItem(row, NameColumn, name);
        table->setItem(row, StateColumn, Cell(state));
        table->setItem(row, TimeColumn,
                       Cell(site.Last ? CheckTimeText(site.Last->TimeUtcMs, now) : ""));
        table->setItem(row, ReasonColumn, Cell(ReasonOf(site)));
        table->setItem(row, RowColumn, Number(site.FailuresInARow));
        table->setItem(row, ChecksColumn, Number(site.Day.Checks));
        table->setItem(row, FailuresColumn, Number(site.Day.Failures));
        if (!site.Watched) {
            for (int column = 0; column < table->columnCount(); ++column)
                table->item(row, column)
                    ->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        }
    }
    if (selected >= 0 && selected < table->rowCount())
        table->selectRow(selected);
    ShowDetails();
}

void TSiteStatusWindow::ShowDetails() {
    const int row = ui->StatusTable->currentRow();
    const int64_t now = FForm.WallClock();
    const std::vector<SiteReport> sites = ReportSites(FForm.State(), FForm.Health(), now);
    if (row < 0 || row >= static_cast<int>(sites.size())) {
        ui->DetailsLabel->setText(QString::fromUtf8("选中一个站点, 这里显示它上次检查的详情."));
        ShowCertificate(nullptr, CertificateCheck::None);
        return;
    }
    const SiteReport& site = sites[static_cast<size_t>(row)];
    using rtl::Gb;
    std::string text = site.Name + ": " + site.Url + "\n";
    if (!site.Last) {
        text += Gb("尚未检查.");
        ShowCertificate(nullptr, CertificateCheck::None);
    } else {
        const LastCheck& last = *site.Last;
        text += Gb("上次检查 ") + CheckTimeText(last.TimeUtcMs, now) + Gb(", 用时 ") +
                std::to_string(last.DurationMs) + Gb(" 毫秒, 收到 ") + std::to_string(last.Bytes) +
                Gb(" 字节");
        if (last.ReplyCode != 0)
            text += Gb(", 应答代码 ") + std::to_string(last.ReplyCode);
        text += ".\n" + (last.Sentence.empty() ? Gb("页面正常.") : ReasonOf(site));
        ShowCertificate(last.CertificateInfo ? &*last.CertificateInfo : nullptr, last.Certificate);
    }
    ui->DetailsLabel->setText(rtl::FromGb(text));
}

void TSiteStatusWindow::ShowCertificate(const CertificateDetails* certificate,
                                        CertificateCheck check) {
    ui->CertificateBox->setVisible(certificate != nullptr);
    FShownCertificate.reset();
    ui->TrustButton->setVisible(certificate != nullptr && TrustWouldHelp(check) &&
                                !certificate->Pem.empty() && !certificate->Host.empty());
    if (!certificate) {
        ui->CertificateLabel->clear();
        return;
    }
    FShownCertificate = *certificate;
    using rtl::Gb;
    std::string text = Gb("主体: ") + certificate->Subject + "\n" + Gb("签发者: ") +
                       certificate->Issuer + "\n" + Gb("有效期: ") + certificate->NotBefore +
                       Gb(" 至 ") + certificate->NotAfter;
    if (certificate->SelfSigned)
        text += Gb(" (自签名)");
    if (!certificate->Sha256.empty())
        text += "\nSHA-256: " + certificate->Sha256;
    ui->CertificateLabel->setText(rtl::FromGb(text));
}

void TSiteStatusWindow::TrustShownCertificate() {
    if (!FShownCertificate)
        return;
    const CertificateDetails certificate = *FShownCertificate;
    using rtl::Gb;
    const std::string question =
        Gb("只为主机 ") + certificate.Host + Gb(" 信任这个证书?\n\nSHA-256: ") +
        certificate.Sha256 +
        Gb("\n\n只有确认它确实是这个站点的证书时才这样做. 别的主机和别的证书不受影响.");
    if (FForm.Desktop().MessageBox(this, question, Gb("信任这个证书"),
                                   DesktopServices::Buttons::YesNo, DesktopServices::Icon::Question,
                                   DesktopServices::DefaultButton::No) !=
        DesktopServices::Answer::Yes)
        return;
    try {
        const std::string file = net::SaveTrustedCertificate(FForm.Folders().CertsFolder(),
                                                             certificate.Host, certificate.Pem);
        FForm.Desktop().ShowNotice(
            this, Gb("证书已存进 ") + rtl::GbFromPath(file) + Gb(", 下次检查这个站点时生效."));
        ui->TrustButton->setEnabled(false);
    } catch (const std::exception& error) {
        FForm.Desktop().ShowMessage(Gb("无法保存证书: ") + error.what());
    }
}

}  // namespace app
