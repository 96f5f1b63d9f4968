#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>
#include <optional>

#include "app/watch/FetchOutcome.h"

namespace Ui {
class TSiteStatus;
}

namespace app {

class TForm1;

// The window 站点状态: one row per site of the list, in list order, with its
// name, state, last check ("12:03:05, 3 分钟前"), reason, failures in a row
// and checks and failures in the last 24 hours. Below the table, the selected
// site's last check in full; for a site whose certificate failed, its
// details go to the certificate box, with a button that trusts exactly that
// certificate for its host when that would let the site in. It does
// not wait for an answer: monitoring goes on while it is open, and it follows
// every check as it is recorded.
class TSiteStatusWindow : public QDialog {
public:
    explicit TSiteStatusWindow(TForm1& form);
    ~TSiteStatusWindow() override;
    TSiteStatusWindow(const TSiteStatusWindow&) = delete;
    TSiteStatusWindow& operator=(const TSiteStatusWindow&) = delete;

    // Fills the table afresh from the lists and the health book.
    void Refresh();

    std::unique_ptr<Ui::TSiteStatus> ui;

private:
    void ShowDetails();
    void ShowCertificate(const CertificateDetails* certificate, CertificateCheck check);
    // Saves the shown certificate as trusted for its host, after asking.
    void TrustShownCertificate();

    TForm1& FForm;
    // "3 分钟前" grows older while the window is open.
    QTimer FAging;
    // The certificate the box shows, which the trust button saves.
    std::optional<CertificateDetails> FShownCertificate;
};

}  // namespace app
