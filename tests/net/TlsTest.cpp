// The client over TLS: against nginx with certificates of a test CA made at run
// time, and against a TLS server that misbehaves on purpose. Every failure must
// be a clear error within the time-out; every page must arrive byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTimer>
#include <filesystem>

#include "net/NMHttp.h"
#include "net/TrustFolder.h"
#include "rtl/Exceptions.h"
#include "tests/support/HostileTlsServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TestCertificates.h"

using testsupport::HostileTlsServer;
using testsupport::TestCertificates;
using Behaviour = HostileTlsServer::Behaviour;

namespace {

struct Client : net::TNMHTTP {
    Client() {
        TimeOut = 20000;
        SecureEnabled = true;
    }
};

class Tls : public testing::Test {
protected:
    void SetUp() override { Certificates.Trust(); }

    // The message of the session error that Get raises.
    static std::string Failure(Client& http, const std::string& url) {
        try {
            http.Get(url);
        } catch (const net::ESockError& error) {
            return error.Message();
        }
        return "no error";
    }

    const TestCertificates& Certificates = TestCertificates::Shared();
};

std::string LocalhostUrl(uint16_t port, const std::string& path) {
    return "https://localhost:" + std::to_string(port) + path;
}

}  // namespace

TEST_F(Tls, NginxPagesArriveWholeByAddressAndByName) {
    testsupport::NginxFixture nginx;
    nginx.EnableTls(Certificates.Good().Certificate, Certificates.Good().Key);
    nginx.AddFile("who.html", "<ul><li>Alice</li></ul>\n");
    nginx.AddLargeFile("big.bin", 3 * 1024 * 1024 + 17);
    nginx.Start();
    Client http;
    for (const std::string& url :
         {nginx.Url("/who.html"), LocalhostUrl(nginx.Port(), "/who.html")}) {
        http.Get(url);
        EXPECT_EQ(http.ReplyNumber, 200) << url;
        EXPECT_EQ(http.Header.substr(0, 17), "HTTP/1.1 200 OK\r\n");
        EXPECT_EQ(http.Body, "<ul><li>Alice</li></ul>\n");
        EXPECT_EQ(http.Port, nginx.Port());
    }
    http.Get(nginx.Url("/big.bin"));
    EXPECT_EQ(http.Body, testsupport::ReadFile(nginx.FilePath("big.bin")));
    EXPECT_EQ(http.BytesTotal, 3 * 1024 * 1024 + 17);
}

TEST_F(Tls, RequestBytesAreThoseOfHttpAndTheReplyIsSplitExactly) {
    HostileTlsServer server(Behaviour::Answer, Certificates.Good());
    // Line ends of both kinds, and body bytes that look like header lines: the
    // line reader must not take a byte beyond each line feed.
    const std::string header = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1\nX-B: c\r\n\r\n";
    const std::string body = "Location: /not-a-header\r\n\r\nrest";
    server.SetReply(header + body);
    Client http;
    http.HeaderInfo().Referer = "https://elsewhere/";
    http.Get(server.Url("/who?x=1"));
    EXPECT_EQ(server.LastRequest(),
              "GET /who?x=1 HTTP/1.0\r\nHost: 127.0.0.1\r\n"
              "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
              "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
              "Referer: https://elsewhere/\r\n"
              "Content-type: application/x-www-form-urlencoded\r\n\r\n");
    EXPECT_EQ(http.Header, header);
    EXPECT_EQ(http.Body, body);
    EXPECT_EQ(http.ReceivedCookie(), "a=1");

    // A body sent from a file goes through the same path, in blocks.
    testsupport::TempFolder folder;
    std::string data(200 * 1024, 'd');
    data[1000] = '\0';
    testsupport::WriteFile(folder.File("post.dat"), data);
    HostileTlsServer poster(Behaviour::Answer, Certificates.Good());
    http.OutputFileMode = true;
    http.Header = folder.File("head.txt");
    http.Post(poster.Url("/post"), folder.File("post.dat"));
    const std::string request = poster.LastRequest();
    EXPECT_EQ(request.substr(request.size() - data.size()), data);
}

TEST_F(Tls, CertificateProblemsNameTheReason) {
    struct Case {
        const TestCertificates::Pair& Certificate;
        bool ByName;
        std::string Reason;
    };
    const Case cases[] = {
        {Certificates.Expired(), true, "certificate has expired"},
        {Certificates.SelfSigned(), true, "self-signed certificate"},
        {Certificates.WrongHost(), true, "hostname mismatch"},
        {Certificates.WrongHost(), false, "IP address mismatch"},
        {Certificates.Untrusted(), true, "unable to get local issuer certificate"},
    };
    for (const Case& c : cases) {
        HostileTlsServer server(Behaviour::Answer, c.Certificate);
        Client http;
        const std::string url = c.ByName ? LocalhostUrl(server.Port(), "/") : server.Url("/");
        EXPECT_EQ(Failure(http, url),
                  "TLS handshake failed: certificate verify failed (" + c.Reason + ")");
        EXPECT_FALSE(http.Connected);
        EXPECT_TRUE(server.LastRequest().empty()) << "a request reached an unverified server";
    }

    // Without the test CA in the trust store, the good certificate is refused too.
    setenv("SSL_CERT_FILE", "/nonexistent/ca.pem", 1);
    HostileTlsServer server(Behaviour::Answer, Certificates.Good());
    Client http;
    EXPECT_EQ(Failure(http, server.Url("/")),
              "TLS handshake failed: certificate verify failed (unable to get local issuer "
              "certificate)");
    Certificates.Trust();
    http.Get(server.Url("/"));
    EXPECT_EQ(http.ReplyNumber, 200);
}

TEST_F(Tls, MisbehavingServersEndWithAClearErrorInTime) {
    struct Case {
        Behaviour How;
        std::string Message;
    };
    const Case cases[] = {
        {Behaviour::SilentHandshake, "Connection Timed out"},
        {Behaviour::DribbleHandshake, "Connection Timed out"},
        {Behaviour::PlainHttp, "TLS handshake failed: the server answered in plain HTTP"},
        {Behaviour::ResetMidHandshake, "TLS handshake failed: 10054:Connection reset by peer"},
        {Behaviour::DribbleBody, "Socket capture aborted"},
        {Behaviour::SilentAfterHandshake, "Socket send aborted"},
    };
    testsupport::TempFolder folder;
    testsupport::WriteFile(folder.File("big.dat"), std::string(16 << 20, 'p'));
    for (const Case& c : cases) {
        SCOPED_TRACE(HostileTlsServer::Name(c.How));
        HostileTlsServer server(c.How, Certificates.Good());
        server.SetDribblePause(300);
        Client http;
        http.TimeOut = 1000;
        std::string message;
        try {
            if (c.How == Behaviour::SilentAfterHandshake) {
                // A server that never reads: the request body cannot all go out.
                http.OutputFileMode = true;
                http.Header = folder.File("head.txt");
                http.Post(server.Url("/"), folder.File("big.dat"));
            } else {
                http.Get(server.Url("/"));
            }
        } catch (const net::ESockError& error) {
            message = error.Message();
        }
        EXPECT_EQ(message, c.Message);
        EXPECT_FALSE(http.Connected);
    }
}

TEST_F(Tls, AbortEndsTheHandshakeAndTheClientStaysUsable) {
    HostileTlsServer silent(Behaviour::SilentHandshake, Certificates.Good());
    Client http;
    QTimer::singleShot(200, [&http] { http.Abort(); });
    EXPECT_EQ(Failure(http, silent.Url("/")), "Connection Canceled");
    HostileTlsServer good(Behaviour::Answer, Certificates.Good());
    http.Get(good.Url("/"));
    EXPECT_EQ(http.Body, "<html><body>secure page</body></html>");
}

TEST_F(Tls, ABodyEndedWithoutCloseNotifyIsKeptWhole) {
    HostileTlsServer server(Behaviour::BodyWithoutCloseNotify, Certificates.Good());
    Client http;
    http.Get(server.Url("/big"));
    ASSERT_EQ(http.Body.size(), size_t{10} << 20);
    for (size_t i = 0; i < http.Body.size(); i += 4093)
        ASSERT_EQ(http.Body[i], static_cast<char>('a' + i % (64 * 1024) % 26)) << i;
}

TEST_F(Tls, RedirectsCrossBetweenHttpAndHttpsCarryingTheCookie) {
    testsupport::NginxFixture plain;
    testsupport::NginxFixture secure;
    secure.EnableTls(Certificates.Good().Certificate, Certificates.Good().Key);
    plain.AddFile("end.html", "arrived");
    // Each redirect names the other server's port, passed along in the query.
    plain.AddLocation("= /start",
                      "add_header Set-Cookie \"id=7\" always; "
                      "return 302 https://127.0.0.1:$arg_tls/middle?back=$server_port;");
    secure.AddLocation("= /middle", "return 301 http://127.0.0.1:$arg_back/end.html;");
    plain.Start();
    secure.Start();

    Client http;
    http.Get(plain.Url("/start?tls=" + std::to_string(secure.Port())));
    EXPECT_EQ(http.Body, "arrived");
    // Cookies ignore ports and, without Secure, schemes: the same host gets it back.
    EXPECT_NE(http.HeaderList().Text().find("\r\nCookie: id=7\r\n"), std::string::npos);
    EXPECT_FALSE(http.UseTls);
    EXPECT_EQ(http.Port, plain.Port());

    // A Location without any "/" names a page of the same secure server and
    // port. This server answers every request so, until the redirect bound.
    HostileTlsServer relative(Behaviour::Answer, Certificates.Good());
    relative.SetReply("HTTP/1.0 302 Found\r\nLocation: page.html\r\n\r\n");
    EXPECT_EQ(Failure(http, relative.Url("/a")), "Too many redirects");
    EXPECT_EQ(http.CurrentURL(), relative.Url("/page.html"));
    EXPECT_EQ(relative.LastRequest().substr(0, 25), "GET /page.html HTTP/1.0\r\n");
}

TEST_F(Tls, SwitchedOffOrThroughAProxyHttpsIsRefusedBeforeConnecting) {
    HostileTlsServer server(Behaviour::Answer, Certificates.Good());
    net::TNMHTTP off;
    EXPECT_FALSE(off.SecureEnabled);
    try {
        off.Get(server.Url("/"));
        ADD_FAILURE() << "https was fetched while switched off";
    } catch (const net::ESockError& error) {
        EXPECT_EQ(error.Message(), "HTTP Secure Socket is not supported");
    }
    Client proxied;
    proxied.Proxy = "127.0.0.1";
    proxied.ProxyPort = server.Port();
    EXPECT_EQ(Failure(proxied, server.Url("/")), "HTTPS through a proxy is not supported");
    EXPECT_EQ(server.Connections(), 0);
}

namespace {

// A trust folder of the client's own, filled from the test certificates.
struct TrustFolder {
    testsupport::TempFolder Root;
    std::string Path = Root.File("certs/");

    TrustFolder() { std::filesystem::create_directories(Path); }
    void Add(const std::string& name, const std::string& certificateFile) const {
        testsupport::WriteFile(Path + name, testsupport::ReadFile(certificateFile));
    }
    void Remove(const std::string& name) const { std::filesystem::remove(Path + name); }
};

std::string Refused(const std::string& reason) {
    return "TLS handshake failed: certificate verify failed (" + reason + ")";
}

std::vector<std::string> SkippedNow() {
    std::vector<std::string> lines;
    for (const net::TSkippedTrustFile& file : net::TakeSkippedTrustFiles())
        lines.push_back(file.File + ": " + file.Reason);
    return lines;
}

}  // namespace

TEST_F(Tls, ATrustFolderAddsCertificatesToTheSystemStore) {
    TrustFolder folder;
    folder.Add("other-ca.pem", Certificates.OtherAuthority());
    folder.Add("self.pem", Certificates.SelfSigned().Certificate);
    folder.Add("expired-self.pem", Certificates.ExpiredSelfSigned().Certificate);
    folder.Add("wrong.pem", Certificates.WrongHost().Certificate);
    testsupport::WriteFile(folder.Path + "notes.txt", "not a certificate\n");
    testsupport::WriteFile(folder.Path + "broken.pem",
                           "-----BEGIN CERTIFICATE-----\nnot base64!\n-----END CERTIFICATE-----\n");
    testsupport::WriteFile(folder.Path + ".hidden", "left alone");
    std::filesystem::create_directories(folder.Path + "sub");

    struct Case {
        const TestCertificates::Pair& Certificate;
        std::string Outcome;
    };
    // The folder's CA vouches for the sites it signed, a self-signed
    // certificate for itself; dates and names are still checked, and the
    // store SSL_CERT_FILE names still counts.
    const Case withCa[] = {
        {Certificates.Untrusted(), "no error"},
        {Certificates.SelfSigned(), "no error"},
        {Certificates.ExpiredSelfSigned(), Refused("certificate has expired")},
        {Certificates.WrongHost(), Refused("hostname mismatch")},
        {Certificates.Good(), "no error"},
    };
    // The CA gone and the other CA's leaf itself in its place: exactly that
    // certificate is trusted, though nothing in the folder signed it.
    const Case pinned[] = {
        {Certificates.Untrusted(), "no error"},
        {Certificates.Good(), "no error"},
    };
    const Case gone[] = {
        {Certificates.Untrusted(), Refused("unable to get local issuer certificate")},
    };
    auto expect = [&](const auto& cases, const char* stage) {
        for (const Case& c : cases) {
            HostileTlsServer server(Behaviour::Answer, c.Certificate);
            Client http;
            http.TrustFolder = folder.Path;
            EXPECT_EQ(Failure(http, LocalhostUrl(server.Port(), "/")), c.Outcome)
                << stage << ": " << c.Certificate.Certificate;
        }
    };

    net::TakeSkippedTrustFiles();
    expect(withCa, "with the CA");
    // What is not a certificate is told once, not at every fetch.
    EXPECT_EQ(SkippedNow(), (std::vector<std::string>{
                                folder.Path + "broken.pem: damaged certificate (bad base64 decode)",
                                folder.Path + "notes.txt: no PEM certificate in it"}));
    expect(withCa, "again");
    EXPECT_TRUE(SkippedNow().empty());

    // A changed folder is read again.
    folder.Remove("other-ca.pem");
    folder.Add("stranger.pem", Certificates.Untrusted().Certificate);
    expect(pinned, "pinned");
    EXPECT_EQ(SkippedNow().size(), 2u);
    folder.Remove("stranger.pem");
    expect(gone, "removed");

    // Without a folder, or with a missing one, only the system store counts.
    for (const std::string& path : {std::string(), folder.Root.File("missing/")}) {
        HostileTlsServer server(Behaviour::Answer, Certificates.SelfSigned());
        Client http;
        http.TrustFolder = path;
        EXPECT_EQ(Failure(http, LocalhostUrl(server.Port(), "/")),
                  Refused("self-signed certificate"));
    }
    EXPECT_TRUE(SkippedNow().empty());
}

TEST_F(Tls, TheServersCertificateIsDescribedAndCanBeTrustedForItsHost) {
    using Check = net::TCertificateCheck;
    struct Case {
        const TestCertificates::Pair& Certificate;
        Check Expected;
        long Code;
        int Depth;
        bool SelfSigned;
    };
    const Case cases[] = {
        {Certificates.SelfSigned(), Check::Untrusted, 18, 0, true},
        {Certificates.Untrusted(), Check::Untrusted, 20, 0, false},
        {Certificates.Expired(), Check::Expired, 10, 0, false},
        {Certificates.WrongHost(), Check::HostMismatch, 62, 0, false},
        {Certificates.Good(), Check::Passed, 0, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Certificate.Certificate);
        HostileTlsServer server(Behaviour::Answer, c.Certificate);
        Client http;
        Failure(http, LocalhostUrl(server.Port(), "/"));
        // Read after the connection closed, as a failure handler does.
        EXPECT_FALSE(http.Connected);
        const net::TPeerCertificate& peer = http.PeerCertificate();
        const std::string& file = c.Certificate.Certificate;
        ASSERT_TRUE(peer.Present);
        EXPECT_EQ(peer.Check, c.Expected);
        EXPECT_EQ(peer.VerifyCode, c.Code);
        EXPECT_EQ(peer.VerifyDepth, c.Depth);
        EXPECT_EQ(peer.SelfSigned, c.SelfSigned);
        EXPECT_EQ(peer.Subject, Certificates.Field(file, "-subject"));
        EXPECT_EQ(peer.Issuer, Certificates.Field(file, "-issuer"));
        EXPECT_EQ(peer.Sha256, Certificates.Field(file, "-fingerprint -sha256"));
        EXPECT_EQ(net::UtcDate(peer.NotBefore),
                  Certificates.Field(file, "-startdate").substr(0, 10));
        EXPECT_EQ(net::UtcDate(peer.NotAfter), Certificates.Field(file, "-enddate").substr(0, 10));
        EXPECT_EQ(peer.Pem, testsupport::ReadFile(file));
    }
    {
        // A handshake that ends before any certificate tells of none.
        HostileTlsServer plain(Behaviour::PlainHttp, Certificates.Good());
        Client http;
        Failure(http, plain.Url("/"));
        EXPECT_FALSE(http.PeerCertificate().Present);
    }

    // "Trust exactly this certificate for this host": the refused one is
    // saved in a folder that does not exist yet, and the next fetch takes it.
    testsupport::TempFolder root;
    const std::string folder = root.File("settings/certs/");
    HostileTlsServer self(Behaviour::Answer, Certificates.SelfSigned());
    Client http;
    http.TrustFolder = folder;
    ASSERT_EQ(Failure(http, LocalhostUrl(self.Port(), "/")), Refused("self-signed certificate"));
    const std::string pem = http.PeerCertificate().Pem;
    EXPECT_EQ(net::SaveTrustedCertificate(folder, "LocalHost", "junk before\n" + pem + pem),
              folder + "localhost.pem");
    EXPECT_EQ(testsupport::ReadFile(folder + "localhost.pem"), pem);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(Failure(http, LocalhostUrl(self.Port(), "/")), "no error");
    EXPECT_EQ(http.PeerCertificate().Check, Check::Passed);

    // The host's earlier file is replaced whole, and nothing else is left.
    const std::string other = testsupport::ReadFile(Certificates.Untrusted().Certificate);
    net::SaveTrustedCertificate(folder, "localhost", other);
    EXPECT_EQ(testsupport::ReadFile(folder + "localhost.pem"), other);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(Failure(http, LocalhostUrl(self.Port(), "/")), Refused("self-signed certificate"));

    // Nothing that is not a certificate, and no name that leaves the folder.
    EXPECT_THROW(net::SaveTrustedCertificate(folder, "localhost", "junk"), rtl::EInOutError);
    EXPECT_THROW(net::SaveTrustedCertificate(folder, "", pem), rtl::EInOutError);
    EXPECT_EQ(testsupport::ReadFile(folder + "localhost.pem"), other);
    const std::pair<const char*, const char*> names[] = {
        {"Chat.Example.org", "chat.example.org.pem"},
        {"[::1]", "___1_.pem"},
        {"../../etc/passwd", "_._.._etc_passwd.pem"},
        {".hidden", "_hidden.pem"},
    };
    for (const auto& [host, name] : names)
        EXPECT_EQ(net::TrustFileName(host), name);
}
