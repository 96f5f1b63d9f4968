#pragma once

// What a TLS server showed of itself: its own (leaf) certificate and how its
// verification ended. Read after a handshake, failed or not, so a window can
// show the user the certificate that was refused and offer to trust it.

#include <cstdint>
#include <string>

struct x509_st;

namespace net {

// The check a certificate failed, in the groups a user can act on.
enum class TCertificateCheck {
    Passed,        // verified: chain, dates and name
    Untrusted,     // nothing trusted vouches for it: self-signed, or an unknown issuer
    Expired,       // a certificate of the chain is past its notAfter
    NotYetValid,   // a certificate of the chain is before its notBefore
    HostMismatch,  // it names neither the host nor the address of the URL
    Other,         // any other check; VerifyCode and VerifyText say which
};

struct TPeerCertificate {
    // False when no certificate arrived (no TLS, or the handshake ended before).
    bool Present = false;
    // One line each, RFC 2253 order, UTF-8 ("CN=chat.example.org,O=Example").
    std::string Subject;
    std::string Issuer;
    // Seconds since 1970-01-01 00:00 UTC.
    int64_t NotBefore = 0;
    int64_t NotAfter = 0;
    // SHA-256 of the DER form: upper-case hex pairs separated by ':'.
    std::string Sha256;
    // Its issuer is its subject and its own key verifies its signature.
    bool SelfSigned = false;
    // The certificate alone, as a PEM block (what a trust file holds).
    std::string Pem;

    TCertificateCheck Check = TCertificateCheck::Passed;
    // OpenSSL's verify result (0, X509_V_OK, when verified) and its text, e.g.
    // 18 "self-signed certificate", 62 "hostname mismatch".
    long VerifyCode = 0;
    std::string VerifyText;
    // Which certificate of the chain failed: 0 the server's own, 1 its issuer,
    // and so on; -1 when none did.
    int VerifyDepth = -1;
};

// Describes Certificate, with the outcome of its verification (VerifyCode at
// VerifyDepth). A null Certificate gives a description that is not Present.
TPeerCertificate DescribeCertificate(x509_st* Certificate, long VerifyCode, int VerifyDepth);

// "2026-11-30" for a time as TPeerCertificate holds it.
std::string UtcDate(int64_t Seconds);

}  // namespace net
