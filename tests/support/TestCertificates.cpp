#include "tests/support/TestCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

namespace {
// The system's openssl.cnf stays out of it: everything the certificates carry
// is written here.
const char* const Config =
    "[req]\n"
    "distinguished_name = dn\n"
    "prompt = no\n"
    "[dn]\n"
    "CN = Perchly test\n"
    "[ca]\n"
    "basicConstraints = critical, CA:TRUE\n"
    "keyUsage = critical, keyCertSign, cRLSign\n"
    "subjectKeyIdentifier = hash\n";

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}
}  // namespace

TestCertificates::TestCertificates() {
    WriteFile(FFolder.File("openssl.cnf"), Config);
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    for (const char* ca : {"ca", "stranger-ca"}) {
        const std::string base = FFolder.File(ca);
        Run("req -x509" + key + " -keyout " + Quoted(base + ".key") + " -out " +
            Quoted(base + ".pem") + " -days 30 -subj '/CN=Perchly test " + ca + "' -config " +
            Quoted(FFolder.File("openssl.cnf")) + " -extensions ca");
    }
    FAuthority = FFolder.File("ca.pem");
    FOtherAuthority = FFolder.File("stranger-ca.pem");
    const std::string here = "DNS:localhost, IP:127.0.0.1, IP:::1";
    FGood = Leaf("good", here, "ca", "30");
    FExpired = Leaf("expired", here, "ca", "-1");
    FSelf = Leaf("self", here, "", "30");
    FWrong = Leaf("wrong", "DNS:wrong.example", "ca", "30");
    FStranger = Leaf("stranger", here, "stranger-ca", "30");
    FExpiredSelf = Leaf("expired-self", here, "expired-self", "-1");
    std::filesystem::create_directories(FFolder.File("empty"));
}

const TestCertificates& TestCertificates::Shared() {
    static const TestCertificates certificates;
    return certificates;
}

void TestCertificates::Trust() const {
    ::setenv("SSL_CERT_FILE", FAuthority.c_str(), 1);
    ::setenv("SSL_CERT_DIR", FFolder.File("empty").c_str(), 1);
}

TestCertificates::Pair TestCertificates::Leaf(const std::string& name, const std::string& names,
                                              const std::string& signer,
                                              const std::string& days) const {
    const std::string base = FFolder.File(name);
    const std::string extensions = base + ".ext";
    WriteFile(extensions,
              "basicConstraints = CA:FALSE\n"
              "keyUsage = critical, digitalSignature\n"
              "extendedKeyUsage = serverAuth\n"
              "subjectAltName = " +
                  names + "\n");
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
                            Quoted(base + ".key") + " -subj '/CN=" + name + "' -config " +
                            Quoted(FFolder.File("openssl.cnf"));
    if (signer.empty()) {
        Run("req -x509" + key + " -out " + Quoted(base + ".pem") + " -days " + days +
            " -addext 'subjectAltName = " + names + "'");
    } else if (signer == name) {
        // Signed with its own key through a request, which (unlike req -x509)
        // takes a negative number of days.
        Run("req" + key + " -out " + Quoted(base + ".csr"));
        Run("x509 -req -in " + Quoted(base + ".csr") + " -signkey " + Quoted(base + ".key") +
            " -days " + days + " -extfile " + Quoted(extensions) + " -out " +
            Quoted(base + ".pem"));
    } else {
        const std::string ca = FFolder.File(signer);
        Run("req" + key + " -out " + Quoted(base + ".csr"));
        // A negative number of days gives a certificate that ended before it began.
        Run("x509 -req -in " + Quoted(base + ".csr") + " -CA " + Quoted(ca + ".pem") + " -CAkey " +
            Quoted(ca + ".key") + " -CAcreateserial -days " + days + " -extfile " +
            Quoted(extensions) + " -out " + Quoted(base + ".pem"));
    }
    return {base + ".pem", base + ".key"};
}

std::string TestCertificates::Field(const std::string& certificate,
                                    const std::string& option) const {
    std::string line = Run("x509 -in " + Quoted(certificate) + " -noout " + option +
                           " -nameopt RFC2253 -dateopt iso_8601");
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    const size_t equals = line.find('=');
    return equals == std::string::npos ? line : line.substr(equals + 1);
}

std::string TestCertificates::Run(const std::string& arguments) const {
    const std::string log = FFolder.File("openssl.log");
    const std::string command = "openssl " + arguments + " >" + Quoted(log) + " 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("openssl failed: " + command + "\n" + ReadFile(log));
    return ReadFile(log);
}

}  // namespace testsupport
