// IPv6 and names with several addresses: a server on ::1 alone reached by name
// and by bracketed literal, the addresses of a name tried in turn, the Host
// line of an address, bad literals, and TLS to an IPv6 address. These tests
// need ::1 on lo; where it is missing they fail and say so.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "net/NMHttp.h"
#include "net/Winsock.h"
#include "rtl/Exceptions.h"
#include "tests/net/HttpTestPeer.h"
#include "tests/support/HostileTlsServer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

using testsupport::ScriptedPeer;
using testsupport::UnansweredPort;

namespace {

const std::string RoomPage = "<ul><li>Alice</li></ul>";

// The line of a recorded request that starts with Name.
std::string LineOf(const std::string& request, const std::string& name) {
    const size_t start = request.find("\r\n" + name);
    if (start == std::string::npos)
        return "(no " + name + " line)";
    return request.substr(start + 2, request.find("\r\n", start + 2) - start - 2);
}

struct UrlProbe : net::TNMHTTP {
    using TNMHTTP::SetCurrentURL;
};

}  // namespace

TEST(Ipv6Fetch, ServerOnIPv6LoopbackAloneIsReachedByNameAndByLiteral) {
    HttpTestPeer peer(QHostAddress::LocalHostIPv6);
    peer.ReplyAlways(Response("200 OK", {"Content-Type: text/html"}, RoomPage));
    const std::string port = std::to_string(peer.Port());
    struct Case {
        std::string Url;
        std::string HostLine;
    };
    const Case cases[] = {
        // localhost names 127.0.0.1 first here, which refuses: ::1 must follow.
        {"http://localhost:" + port + "/room.html", "Host: localhost"},
        {"http://[::1]:" + port + "/room.html", "Host: [::1]:" + port},
        // Without a scheme, as the watcher hands over an address typed so.
        {"[::1]:" + port + "/room.html", "Host: [::1]:" + port},
    };
    net::TNMHTTP http;
    http.TimeOut = 20000;
    for (const Case& c : cases) {
        http.Body.clear();
        http.Get(c.Url);
        EXPECT_EQ(http.ReplyNumber, 200) << c.Url;
        EXPECT_EQ(http.Body, RoomPage) << c.Url;
        EXPECT_EQ(http.Host, c.Url.find("localhost") != std::string::npos ? "localhost" : "::1");
        EXPECT_EQ(http.RemoteAddress.Text(), "::1") << c.Url;
        EXPECT_EQ(http.RemoteAddress.Port(), peer.Port()) << c.Url;
        ASSERT_FALSE(peer.Requests().empty());
        EXPECT_TRUE(peer.Requests().back().starts_with("GET /room.html HTTP/1.0\r\n")) << c.Url;
        EXPECT_EQ(LineOf(peer.Requests().back(), "Host:"), c.HostLine) << c.Url;
    }
    EXPECT_EQ(peer.Connections(), 3);
}

TEST(Ipv6Connect, AddressesOfANameAreTriedInTurn) {
    enum class Reply { Answers, Refuses, Silent };
    struct Case {
        std::string First;  // "127.0.0.1" or "::1"; the other one follows it
        Reply FirstReply, SecondReply;
        std::string Reached;  // the address connected, or the error raised
    };
    const Case cases[] = {
        {"127.0.0.1", Reply::Refuses, Reply::Answers, "::1"},
        {"::1", Reply::Refuses, Reply::Answers, "127.0.0.1"},
        // An address that never answers keeps only its share of the time-out.
        {"127.0.0.1", Reply::Silent, Reply::Answers, "::1"},
        // Once all failed, the last one's failure is raised.
        {"127.0.0.1", Reply::Refuses, Reply::Refuses, "Connection Failed"},
        {"127.0.0.1", Reply::Silent, Reply::Refuses, "Connection Failed"},
        {"::1", Reply::Refuses, Reply::Silent, "Connection Timed out"},
    };
    const char* const name = "two-addresses.test";
    for (const Case& c : cases) {
        const std::string second = c.First == "::1" ? "127.0.0.1" : "::1";
        const std::string what = c.First + " then " + second + " -> " + c.Reached;
        // The answering server takes a port, a silent one joins it (or takes
        // one); where nobody listens, a port that was free a moment ago.
        std::unique_ptr<ScriptedPeer> peer;
        std::unique_ptr<UnansweredPort> silent;
        uint16_t port = 0;
        const std::pair<std::string, Reply> both[] = {{c.First, c.FirstReply},
                                                      {second, c.SecondReply}};
        for (const auto& [address, reply] : both)
            if (reply == Reply::Answers) {
                peer = std::make_unique<ScriptedPeer>(address);
                peer->Hold();
                peer->Start();
                port = peer->Port();
            }
        for (const auto& [address, reply] : both)
            if (reply == Reply::Silent)
                port = (silent = std::make_unique<UnansweredPort>(address, port))->Port();
        if (port == 0)
            ::close(testsupport::ListenOnLoopback("::1", 0, 1, port));
        std::vector<net::TSockAddress> addresses;
        for (const auto& entry : both)
            addresses.push_back(entry.first == "::1"
                                    ? net::TSockAddress::IPv6(in6addr_loopback)
                                    : net::TSockAddress::IPv4(htonl(INADDR_LOOPBACK)));
        net::WSASetFixedHostAddresses(name, addresses);

        net::TPowersock session;
        session.Host = name;
        session.Port = port;
        session.TimeOut = 3000;
        int resolved = 0, failed = 0;
        session.OnHostResolved = [&](net::TPowersock&) { ++resolved; };
        session.OnConnectionFailed = [&](net::TPowersock&) { ++failed; };
        std::string reached;
        try {
            session.Connect();
            reached = session.RemoteAddress.Text();
        } catch (const net::ESockError& error) {
            reached = error.Message();
        }
        net::WSASetFixedHostAddresses(name, {});
        EXPECT_EQ(reached, c.Reached) << what;
        EXPECT_EQ(resolved, 1) << what;
        EXPECT_EQ(session.RemoteAddresses.size(), 2u) << what;
        EXPECT_EQ(failed, session.Connected ? 0 : 1) << what;
        if (session.Connected) {
            EXPECT_TRUE(testsupport::PumpUntil([&] { return peer->Accepted(); })) << what;
        }
    }
}

TEST(Ipv6Url, BracketedAddressesGiveHostPortAndHostLine) {
    struct Case {
        std::string Url;
        bool Secure;
        std::string Host;
        int32_t Port;
        std::string Path;
        std::string HostLine;
    };
    const Case cases[] = {
        {"http://[::1]:8080/x", false, "::1", 8080, "/x", "Host: [::1]:8080"},
        {"http://[::1]/", false, "::1", 80, "/", "Host: [::1]"},
        {"http://[::1]", false, "::1", 80, "/", "Host: [::1]"},
        {"http://[::1]:80/who?a=1", false, "::1", 80, "/who?a=1", "Host: [::1]"},
        {"https://[2001:db8::1]/", true, "2001:db8::1", 443, "/", "Host: [2001:db8::1]"},
        {"https://[2001:DB8::1]:8443/r", true, "2001:DB8::1", 8443, "/r",
         "Host: [2001:DB8::1]:8443"},
        {"https://[::1]:80/", true, "::1", 80, "/", "Host: [::1]:80"},
        {"[::ffff:127.0.0.1]:81/r", false, "::ffff:127.0.0.1", 81, "/r",
         "Host: [::ffff:127.0.0.1]:81"},
        // Names and IPv4 addresses keep the bare host, whatever the port.
        {"http://127.0.0.1:8080/x", false, "127.0.0.1", 8080, "/x", "Host: 127.0.0.1"},
        {"http://chat.example.org:8080/x", false, "chat.example.org", 8080, "/x",
         "Host: chat.example.org"},
    };
    for (const Case& c : cases) {
        UrlProbe http;
        http.SecureEnabled = c.Secure;
        http.SetCurrentURL(c.Url);
        http.ParseURL();
        http.BuildHeader();
        EXPECT_EQ(http.Host, c.Host) << c.Url;
        EXPECT_EQ(http.Port, c.Port) << c.Url;
        EXPECT_EQ(http.RequestPath(), c.Path) << c.Url;
        const int line = http.HeaderList().IndexOfName("Host");
        ASSERT_GE(line, 0) << c.Url;
        EXPECT_EQ(http.HeaderList()[line], c.HostLine) << c.Url;
    }
}

TEST(Ipv6Url, BadAddressesAreRefusedBeforeConnecting) {
    struct Case {
        std::string Url;
        std::string Message;
    };
    const Case cases[] = {
        {"http://[::1/room.html", "IPv6 address in URL lacks its closing bracket: [::1"},
        {"http://[::1", "IPv6 address in URL lacks its closing bracket: [::1"},
        {"http://[fe80::1%25eth0]/", "IPv6 zone IDs are not supported in URLs: [fe80::1%25eth0]"},
        {"http://[fe80::1%eth0]:80/", "IPv6 zone IDs are not supported in URLs: [fe80::1%eth0]:80"},
        {"http://[::1]:65536/", "Invalid port number in URL: [::1]:65536"},
        {"http://[::1]:99999999999/", "Invalid port number in URL: [::1]:99999999999"},
        {"http://[::1]:0/", "Invalid port number in URL: [::1]:0"},
        {"http://[::1]:8o/", "Invalid port number in URL: [::1]:8o"},
        {"http://[::1]:/", "Invalid port number in URL: [::1]:"},
        {"http://[::g]/", "Invalid IPv6 address in URL: [::g]"},
        {"http://[]/", "Invalid IPv6 address in URL: []"},
        {"http://[127.0.0.1]/", "Invalid IPv6 address in URL: [127.0.0.1]"},
        {"http://[1:2:3:4:5:6:7:8:9]/", "Invalid IPv6 address in URL: [1:2:3:4:5:6:7:8:9]"},
        {"http://[::1]x/", "Invalid text after IPv6 address in URL: [::1]x"},
        {"http://[::1]]/", "Invalid text after IPv6 address in URL: [::1]]"},
        {"http://::1/", "IPv6 address in URL needs brackets: ::1"},
        // Over the component's own limit, as for names.
        {"http://example.org:65536/", "Invalid port number in URL: 65536"},
    };
    for (const Case& c : cases) {
        net::TNMHTTP http;
        bool aboutToSend = false;
        http.OnAboutToSend = [&](net::TPowersock&) { aboutToSend = true; };
        std::string raised = "(nothing raised)";
        try {
            http.Get(c.Url);
        } catch (const net::ESockError& error) {
            raised = error.Message();
        } catch (const rtl::Exception& error) {
            raised = "not a socket error: " + error.Message();
        }
        EXPECT_EQ(raised, c.Message) << c.Url;
        EXPECT_FALSE(aboutToSend) << c.Url;
    }
}

TEST(Ipv6Tls, AnAddressIsCheckedAgainstTheCertificatesAddresses) {
    using testsupport::HostileTlsServer;
    const auto& certificates = testsupport::TestCertificates::Shared();
    certificates.Trust();
    // The good certificate names IP ::1 (and no DNS name that could stand for it).
    for (const auto* pair : {&certificates.Good(), &certificates.WrongHost()}) {
        HostileTlsServer server(HostileTlsServer::Behaviour::Answer, *pair, "::1");
        net::TNMHTTP http;
        http.SecureEnabled = true;
        http.TimeOut = 20000;
        std::string failure;
        try {
            http.Get(server.Url("/who"));
        } catch (const net::ESockError& error) {
            failure = error.Message();
        }
        if (pair == &certificates.Good()) {
            EXPECT_EQ(failure, "");
            EXPECT_EQ(LineOf(server.LastRequest(), "Host:"),
                      "Host: [::1]:" + std::to_string(server.Port()));
        } else {
            EXPECT_EQ(failure,
                      "TLS handshake failed: certificate verify failed (IP address mismatch)");
            EXPECT_EQ(server.LastRequest(), "") << "a request reached an unverified server";
        }
    }
}
