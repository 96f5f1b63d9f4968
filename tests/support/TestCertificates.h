#pragma once

// A test certificate authority and server certificates, made at run time with
// the `openssl` command in a temporary folder (no private key is kept in the
// tree). Every server certificate names DNS:localhost, IP:127.0.0.1 and IP:::1
// unless it is the wrong-host one.
//
//   const auto& certificates = testsupport::TestCertificates::Shared();
//   certificates.Trust();                // SSL_CERT_FILE := the test CA
//   nginx.EnableTls(certificates.Good());
#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

class TestCertificates {
public:
    struct Pair {
        std::string Certificate;  // PEM file: the certificate (and its chain)
        std::string Key;          // PEM file: its private key
    };

    // Makes the whole set; throws std::runtime_error with openssl's output
    // when the command fails.
    TestCertificates();

    // One set per process, made on first use.
    static const TestCertificates& Shared();

    // The CA certificate the client is given.
    const std::string& Authority() const { return FAuthority; }
    // The CA that signed Untrusted(), which the client is not given.
    const std::string& OtherAuthority() const { return FOtherAuthority; }
    // Points SSL_CERT_FILE at the test CA (and SSL_CERT_DIR at an empty folder),
    // so the client trusts it and nothing else.
    void Trust() const;

    const Pair& Good() const { return FGood; }           // signed by the test CA
    const Pair& Expired() const { return FExpired; }     // signed by it, expired
    const Pair& SelfSigned() const { return FSelf; }     // signed by itself
    const Pair& WrongHost() const { return FWrong; }     // names only wrong.example
    const Pair& Untrusted() const { return FStranger; }  // signed by another CA
    const Pair& ExpiredSelfSigned() const { return FExpiredSelf; }

    // What the openssl command reads from a certificate file: the value of
    // one `openssl x509 -noout` option, names in RFC 2253 form and dates in
    // ISO 8601 ("-subject" -> "CN=good", "-enddate" -> "2026-12-12 13:41:39Z",
    // "-fingerprint -sha256" -> "2D:96:...").
    std::string Field(const std::string& certificate, const std::string& option) const;

private:
    std::string Run(const std::string& arguments) const;
    Pair Leaf(const std::string& name, const std::string& names, const std::string& signer,
              const std::string& days) const;

    TempFolder FFolder;
    std::string FAuthority;
    std::string FOtherAuthority;
    Pair FGood, FExpired, FSelf, FWrong, FStranger, FExpiredSelf;
};

}  // namespace testsupport
