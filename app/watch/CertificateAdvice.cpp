#include "app/watch/CertificateAdvice.h"

#include <QByteArray>
#include <QFile>

#include "rtl/GbText.h"

namespace app {

namespace {
// A path as the file system holds it (the locale's bytes) in GB text.
std::string GbPath(const std::string& path) {
    return rtl::ToGb(QFile::decodeName(QByteArray::fromStdString(path)));
}
}  // namespace

std::string CertificateAdvice(const net::TPeerCertificate& Certificate,
                              const std::string& CertsFolder) {
    if (!Certificate.Present || Certificate.Check != net::TCertificateCheck::Untrusted)
        return {};
    return rtl::Gb("要信任这个站点的证书, 把它的 PEM 文件放进 ") + GbPath(CertsFolder) + "\r\n";
}

std::string SkippedTrustFilesText(const std::vector<net::TSkippedTrustFile>& Skipped) {
    std::string text;
    for (const net::TSkippedTrustFile& file : Skipped)
        text += GbPath(file.File) + rtl::Gb(" 不是可用的证书, 已跳过 (") + file.Reason + ")\r\n";
    return text;
}

std::string CertificateFailureNotes(const net::TPeerCertificate& Certificate,
                                    const std::string& CertsFolder) {
    if (!Certificate.Present || Certificate.Check == net::TCertificateCheck::Passed)
        return {};
    return CertificateAdvice(Certificate, CertsFolder) +
           SkippedTrustFilesText(net::TakeSkippedTrustFiles());
}

std::optional<CertificateDetails> DescribeFailingCertificate(
    const net::TPeerCertificate& Certificate, const std::string& Host) {
    if (!Certificate.Present)
        return std::nullopt;
    CertificateDetails details;
    details.Subject = rtl::Gb(Certificate.Subject);
    details.Issuer = rtl::Gb(Certificate.Issuer);
    details.NotBefore = net::UtcDate(Certificate.NotBefore);
    details.NotAfter = net::UtcDate(Certificate.NotAfter);
    details.Sha256 = Certificate.Sha256;
    details.SelfSigned = Certificate.SelfSigned;
    details.Pem = Certificate.Pem;
    details.Host = Host;
    return details;
}

bool TrustWouldHelp(CertificateCheck Check) {
    return Check == CertificateCheck::SelfSigned || Check == CertificateCheck::UnknownIssuer;
}

}  // namespace app
