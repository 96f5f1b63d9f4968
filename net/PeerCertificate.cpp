#include "net/PeerCertificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

namespace net {

namespace {

using TBio = std::unique_ptr<BIO, decltype(&BIO_free)>;

std::string BioText(BIO* Bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(Bio, &data);
    return length > 0 ? std::string(data, static_cast<size_t>(length)) : std::string();
}

std::string NameText(const X509_NAME* Name) {
    TBio bio(BIO_new(BIO_s_mem()), &BIO_free);
    // RFC 2253, but with UTF-8 kept as it is instead of escaped byte by byte.
    if (!bio || X509_NAME_print_ex(bio.get(), Name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return {};
    return BioText(bio.get());
}

int64_t Seconds(const ASN1_TIME* Time) {
    std::tm parts{};
    if (Time == nullptr || ASN1_TIME_to_tm(Time, &parts) != 1)
        return 0;
    return static_cast<int64_t>(timegm(&parts));
}

std::string Fingerprint(const X509* Certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(Certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    static const char Hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            text += ':';
        text += Hex[digest[i] >> 4];
        text += Hex[digest[i] & 0xF];
    }
    return text;
}

bool IsSelfSigned(X509* Certificate) {
    if (X509_NAME_cmp(X509_get_subject_name(Certificate), X509_get_issuer_name(Certificate)) != 0)
        return false;
    EVP_PKEY* key = X509_get0_pubkey(Certificate);
    return key != nullptr && X509_verify(Certificate, key) == 1;
}

TCertificateCheck CheckOf(long Code) {
    switch (Code) {
        case X509_V_OK:
            return TCertificateCheck::Passed;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
            return TCertificateCheck::Untrusted;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return TCertificateCheck::Expired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return TCertificateCheck::NotYetValid;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return TCertificateCheck::HostMismatch;
        default:
            return TCertificateCheck::Other;
    }
}

}  // namespace

TPeerCertificate DescribeCertificate(x509_st* Certificate, long VerifyCode, int VerifyDepth) {
    TPeerCertificate peer;
    peer.Check = CheckOf(VerifyCode);
    peer.VerifyCode = VerifyCode;
    peer.VerifyText = X509_verify_cert_error_string(VerifyCode);
    peer.VerifyDepth = VerifyCode == X509_V_OK ? -1 : VerifyDepth;
    if (Certificate == nullptr)
        return peer;
    peer.Present = true;
    peer.Subject = NameText(X509_get_subject_name(Certificate));
    peer.Issuer = NameText(X509_get_issuer_name(Certificate));
    peer.NotBefore = Seconds(X509_get0_notBefore(Certificate));
    peer.NotAfter = Seconds(X509_get0_notAfter(Certificate));
    peer.Sha256 = Fingerprint(Certificate);
    peer.SelfSigned = IsSelfSigned(Certificate);
    TBio bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (bio && PEM_write_bio_X509(bio.get(), Certificate) == 1)
        peer.Pem = BioText(bio.get());
    return peer;
}

std::string UtcDate(int64_t Seconds) {
    const auto time = static_cast<std::time_t>(Seconds);
    std::tm parts{};
    if (gmtime_r(&time, &parts) == nullptr)
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

}  // namespace net
