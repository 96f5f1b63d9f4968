#pragma once

// What the watcher adds, in Chinese, to the reason of a fetch that failed on
// the server's certificate. GUI-free; the texts are GB18030, each line ending
// with CR LF, and empty when there is nothing to add.

#include <optional>
#include <string>
#include <vector>

#include "app/watch/FetchOutcome.h"
#include "net/PeerCertificate.h"
#include "net/TrustFolder.h"

namespace app {

// For a certificate nothing trusted vouches for (self-signed, or from an
// unknown issuer): where a trusted copy of it goes, CertsFolder being the
// folder's real path. Nothing for any other outcome: a file cannot mend an
// expired certificate or a wrong name.
std::string CertificateAdvice(const net::TPeerCertificate& Certificate,
                              const std::string& CertsFolder);

// One line for each file of the certs folder that gave no certificate.
std::string SkippedTrustFilesText(const std::vector<net::TSkippedTrustFile>& Skipped);

// What follows the reason of a failed fetch whose server showed Certificate:
// after a failed certificate check, the advice and the files of the folder
// skipped since they were last told (each is told once: see
// net::TakeSkippedTrustFiles). Nothing when no certificate check failed.
std::string CertificateFailureNotes(const net::TPeerCertificate& Certificate,
                                    const std::string& CertsFolder);

// What the site's record keeps of the certificate a server showed Host, for
// the reason's sentence and the status window (which offers to trust it);
// none when no certificate arrived.
std::optional<CertificateDetails> DescribeFailingCertificate(
    const net::TPeerCertificate& Certificate, const std::string& Host);

// Whether trusting exactly this certificate would let its site in: only a
// certificate nothing vouches for (self-signed, or from an unknown issuer);
// a trusted copy cannot mend an expired certificate or a wrong name.
bool TrustWouldHelp(CertificateCheck Check);

}  // namespace app
