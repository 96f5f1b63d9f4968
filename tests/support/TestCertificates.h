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
    // Points SSL_CERT_FILE at the test CA (and SSL_CERT_DIR at an empty folder),
    // so the client trusts it and nothing else.
    void Trust() const;

    const Pair& Good() const { return FGood; }           // signed by the test CA
    const Pair& Expired() const { return FExpired; }     // signed by it, expired
    const Pair& SelfSigned() const { return FSelf; }     // signed by itself
    const Pair& WrongHost() const { return FWrong; }     // names only wrong.example
    const Pair& Untrusted() const { return FStranger; }  // signed by another CA

private:
    std::string Run(const std::string& arguments) const;
    Pair Leaf(const std::string& name, const std::string& names, const std::string& signer,
              const std::string& days) const;

    TempFolder FFolder;
    std::string FAuthority;
    Pair FGood, FExpired, FSelf, FWrong, FStranger;
};

}  // namespace testsupport
