#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/NMHttp.h"
#include "net/Psock.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TestSupport.h"

using net::ESockError;
using net::TPowersock;
using testsupport::ScriptedPeer;

namespace {

// A port on 127.0.0.1 that refuses connections: bound by the system, then freed.
uint16_t RefusedPort() {
    uint16_t port;
    {
        ScriptedPeer peer;
        port = peer.Port();
    }
    return port;
}

std::string RaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const rtl::Exception& error) {
        return error.Message();
    }
    return "(nothing raised)";
}

}  // namespace

TEST(PsockErrors, TextsOfTheTable) {
    TPowersock session;
    std::string text = "ignored";
    session.GetErrorMessage(10061, text);
    EXPECT_EQ(text, "10061:Connection refused");
    session.GetErrorMessage(12345, text);
    EXPECT_EQ(text, "Unknown Error No. 12345");
    session.GetErrorMessage(0, text);
    EXPECT_EQ(text, "");
    session.GetErrorMessage(11004, text);
    EXPECT_EQ(text, "11004:Valid name, no data record of requested type");
}

TEST(PsockErrors, ErrnoMapsToWsaCodes) {
    EXPECT_EQ(net::WSAErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(net::WSAErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(net::WSAErrorFromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(net::WSAErrorFromErrno(ENOTCONN), 10057);
    EXPECT_EQ(net::WSAErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(net::WSAErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(net::WSAErrorFromErrno(EBADF), 10038);
    // An errno without a row must never read as would-block or refused.
    EXPECT_EQ(net::WSAErrorFromErrno(EDEADLK), net::WSAUnmappedErrnoBase + EDEADLK);
}

TEST(PsockErrors, CheckSocketErrorRaisesAndReports) {
    TPowersock session;
    int reported = 0;
    session.OnSocketError = [&](TPowersock&, uint16_t code, const std::string& text) {
        reported = code;
        EXPECT_EQ(text, "10054:Connection reset by peer");
    };
    std::string text;
    net::WSASetLastError(10035);
    EXPECT_NO_THROW(session.CheckSocketError(10035, text));
    EXPECT_EQ(session.LastErrorNo, 10035);
    net::WSASetLastError(9999);
    EXPECT_NO_THROW(session.CheckSocketError(10035, text));
    net::WSASetLastError(10054);
    EXPECT_EQ(RaisedBy([&] { session.CheckSocketError(10035, text); }),
              "10054:Connection reset by peer");
    EXPECT_EQ(reported, 10054);
}

TEST(PsockText, ExtractFieldAndFindNthChar) {
    EXPECT_EQ(net::ExtractField("a:b:c", ':', 2), "b");
    EXPECT_EQ(net::ExtractField("a:b", ':', 3), "");
    EXPECT_EQ(net::ExtractField("ab://cd/ef", '/', 3), "cd");
    EXPECT_EQ(net::ExtractField("ab:", ':', 1), "ab");
    EXPECT_EQ(net::ExtractField("", ':', 1), "");
    EXPECT_EQ(net::ExtractField("a:b", ':', 0), "");
    EXPECT_EQ(net::FindNthChar("ab://cd/ef", '/', 3), 8);
    EXPECT_EQ(net::FindNthChar("ab://cd/", '/', 3), 9);
    EXPECT_EQ(net::FindNthChar("ab://cd/ef", '/', 4), 11);
    EXPECT_EQ(net::FindNthChar("", '/', 1), 1);
}

TEST(PsockLifecycle, TwoSessionsStartTheLayerOnce) {
    ASSERT_EQ(TPowersock::WinsockUsers(), 0);
    const net::TWinsockCounters before = net::WinsockCounters();
    auto first = std::make_unique<TPowersock>();
    auto second = std::make_unique<TPowersock>();
    ASSERT_EQ(first->WinsockInfo.size(), 6u);
    EXPECT_EQ(first->WinsockInfo[0], "Version= 1.1");
    EXPECT_EQ(first->WinsockInfo[2], "Description= Perchly sockets over POSIX");
    EXPECT_EQ(first->WinsockInfo[3], "System= Running");
    EXPECT_TRUE(second->WinsockInfo.empty());
    EXPECT_EQ(TPowersock::WinsockUsers(), 2);
    first.reset();
    EXPECT_EQ(net::WinsockCounters().Cleanups, before.Cleanups);
    second.reset();
    EXPECT_EQ(net::WinsockCounters().Startups, before.Startups + 1);
    EXPECT_EQ(net::WinsockCounters().Cleanups, before.Cleanups + 1);
    EXPECT_EQ(TPowersock::WinsockUsers(), 0);
}

TEST(PsockConnect, DottedAddressConnectsWithoutLookup) {
    ScriptedPeer peer;
    peer.Hold();
    peer.Start();
    TPowersock session;
    session.Host = "127.0.0.1";
    session.Port = peer.Port();
    session.TimeOut = 20000;
    bool resolved = false, connected = false;
    session.OnHostResolved = [&](TPowersock&) { resolved = true; };
    session.OnConnect = [&](TPowersock&) { connected = true; };
    session.Connect();
    EXPECT_TRUE(session.Connected);
    EXPECT_TRUE(connected);
    EXPECT_FALSE(resolved);
    EXPECT_EQ(RaisedBy([&] { session.Connect(); }), "Already connected");
    EXPECT_TRUE(session.Connected);
    session.Disconnect();
    EXPECT_FALSE(session.Connected);
}

TEST(PsockConnect, HostNameIsResolvedWithEvent) {
    ScriptedPeer peer;
    peer.Hold();
    peer.Start();
    TPowersock session;
    session.Host = "localhost";
    session.Port = peer.Port();
    session.TimeOut = 30000;
    bool resolved = false;
    session.OnHostResolved = [&](TPowersock&) { resolved = true; };
    session.Connect();
    EXPECT_TRUE(resolved);
    EXPECT_TRUE(session.Connected);
}

TEST(PsockConnect, RefusedPortFailsWithEvent) {
    TPowersock session;
    session.Host = "127.0.0.1";
    session.Port = RefusedPort();
    session.TimeOut = 20000;
    bool failed = false;
    session.OnConnectionFailed = [&](TPowersock&) { failed = true; };
    EXPECT_EQ(RaisedBy([&] { session.Connect(); }), "Connection Failed");
    EXPECT_TRUE(failed);
    EXPECT_FALSE(session.Connected);
}

TEST(PsockConnect, InvalidHostHandlerAskedOnce) {
    TPowersock session;
    session.Host = "no-such-host.invalid";
    session.Port = 80;
    session.TimeOut = 60000;
    int asked = 0;
    session.OnInvalidHost = [&](bool& handled) {
        ++asked;
        handled = true;  // without fixing the host
    };
    EXPECT_EQ(RaisedBy([&] { session.Connect(); }), "Null Remote Address");
    EXPECT_EQ(asked, 1);
}

TEST(PsockConnect, InvalidHostWithoutHandler) {
    TPowersock session;
    session.Host = "0.0.0.0";
    EXPECT_EQ(RaisedBy([&] { session.Connect(); }), "Null Remote Address");
    session.Host = std::string(70000, 'a');
    EXPECT_EQ(RaisedBy([&] { session.Connect(); }), "Host name too long");
}

TEST(PsockConnect, StatusOrderWithDottedAddress) {
    ScriptedPeer peer;
    peer.Hold();
    peer.Start();
    TPowersock session;
    session.ReportLevel = 8;
    std::vector<std::string> seen;
    session.OnStatus = [&](TPowersock&, const std::string& text) { seen.push_back(text); };
    session.OnConnect = [&](TPowersock&) { seen.push_back("(connected)"); };
    session.Host = "127.0.0.1";
    session.Port = peer.Port();
    session.Connect();
    const std::vector<std::string> expected{"Connecting", "Resolve Host", "Timer On", "(connected)",
                                            "Timer Off"};
    EXPECT_EQ(seen, expected);
}

TEST(PsockConnect, CancelFromInsideTheWait) {
    TPowersock session;
    session.Host = "no-such-host.invalid";
    // A timer tick inside the lookup wait cancels it.
    net::TThreadTimer stopper;
    stopper.SetInterval(50);
    stopper.SetOnTimer([&](net::TThreadTimer& timer) {
        timer.SetEnabled(false);
        session.Cancel();
    });
    const std::string raised = RaisedBy([&] { session.Connect(); });
    // The lookup may fail before the tick on a machine without DNS.
    EXPECT_TRUE(raised == "Host Lookup Canceled" || raised == "Null Remote Address") << raised;
}

TEST(PsockConnect, LookupFinishingAfterDestroyTouchesNothing) {
    // The session goes while its lookup is still pending; the completion that
    // arrives later must not write into freed memory (the sanitizer would see).
    {
        auto session = std::make_unique<TPowersock>();
        session->Host = "localhost";
        net::TThreadTimer killer;
        killer.SetInterval(1);
        killer.SetOnTimer([&](net::TThreadTimer& timer) {
            timer.SetEnabled(false);
            session->Cancel();
        });
        const std::string raised = RaisedBy([&] { session->Connect(); });
        // On a busy machine the lookup may win the race and the cancel then
        // ends the connect instead.
        EXPECT_TRUE(raised == "Host Lookup Canceled" || raised == "Null Remote Address" ||
                    raised == "Connection Failed" || raised == "Connection Canceled")
            << raised;
    }
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(TPowersock::WinsockUsers(), 0);
}

namespace {

// Once destruction has begun no handler may run: the objects a handler touches
// may be gone already (a form's controls, a log). Both the session and the
// HTTP client are destroyed while connected, reporting at the highest level.
template <class Component>
void ExpectSilentDestruction() {
    ScriptedPeer peer;
    peer.Hold();
    peer.Start();
    auto component = std::make_unique<Component>();
    component->Host = "127.0.0.1";
    component->Port = peer.Port();
    component->TimeOut = 20000;
    component->ReportLevel = 8;
    bool destroying = false;
    std::vector<std::string> late;
    auto record = [&](const std::string& what) {
        if (destroying)
            late.push_back(what);
    };
    component->OnStatus = [&](TPowersock&, const std::string& status) { record(status); };
    component->OnDisconnect = [&](TPowersock&) { record("OnDisconnect"); };
    component->OnSocketError = [&](TPowersock&, uint16_t, const std::string& text) {
        record("OnSocketError " + text);
    };
    component->Connect();
    ASSERT_TRUE(component->Connected);
    destroying = true;
    component.reset();
    EXPECT_TRUE(late.empty()) << testing::PrintToString(late);
}

}  // namespace

TEST(PsockLifecycle, NoEventReachesAHandlerOnceDestructionBegins) {
    ExpectSilentDestruction<TPowersock>();
    ExpectSilentDestruction<net::TNMHTTP>();
}
