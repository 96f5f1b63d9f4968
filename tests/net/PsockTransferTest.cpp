#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "net/Psock.h"
#include "rtl/Exceptions.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TestSupport.h"

using net::EAbortError;
using net::ESockError;
using net::TPowersock;
using testsupport::ScriptedPeer;

namespace {

void ConnectTo(TPowersock& session, ScriptedPeer& peer, int32_t timeOut) {
    peer.Start();
    session.Host = "127.0.0.1";
    session.Port = peer.Port();
    session.TimeOut = timeOut;
    session.Connect();
}

template <class Error>
std::string Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.Message();
    }
    return "(nothing raised)";
}

}  // namespace

TEST(PsockReadLn, SplitLinesLeaveTheRestUnread) {
    ScriptedPeer peer;
    peer.Send("abc\r\ndef\n").ReadLine().Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string line;
    ASSERT_TRUE(testsupport::PumpUntil([&] { return session.DataAvailable(); }));
    session.ReadLn(line);
    EXPECT_EQ(line, "abc\r\n");
    session.ReadLn(line);
    EXPECT_EQ(line, "def\n");
    session.Writeln("done");
    session.ReadLn(line);
    EXPECT_EQ(line, "");  // peer closed
    EXPECT_TRUE(peer.Wait());
    EXPECT_EQ(peer.Received(), "done\r\n");
}

TEST(PsockReadLn, LineArrivingInPiecesIsWhole) {
    ScriptedPeer peer;
    peer.SendSlowly("slow line\n", std::chrono::milliseconds(10)).Hold();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string line;
    session.ReadLn(line);
    EXPECT_EQ(line, "slow line\n");
}

TEST(PsockReadLn, CloseBeforeLineFeedGivesEmptyLine) {
    ScriptedPeer peer;
    peer.Send("no end").Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string line = "x";
    session.ReadLn(line);
    EXPECT_EQ(line, "");
}

TEST(PsockReadLn, TimeOutAbortsWithTimedOut) {
    ScriptedPeer peer;
    peer.Hold();
    TPowersock session;
    ConnectTo(session, peer, 500);
    std::string line;
    EXPECT_EQ(Raised<EAbortError>([&] { session.ReadLn(line); }), "Socket readln aborted");
    EXPECT_TRUE(session.TimedOut);
    EXPECT_FALSE(session.Canceled);  // cleared, so the session can go on
}

TEST(PsockReadLn, OneMebibyteLineComesInBufferPieces) {
    const std::string big(1 << 20, 'x');
    ScriptedPeer peer;
    peer.Send(big + "\nnext\n").Hold();
    TPowersock session;
    ConnectTo(session, peer, 30000);
    std::string all, line;
    do {
        session.ReadLn(line);
        ASSERT_FALSE(line.empty());
        ASSERT_LE(line.size(), 65536u);
        all += line;
    } while (line.back() != '\n');
    EXPECT_EQ(all, big + "\n");
    session.ReadLn(line);
    EXPECT_EQ(line, "next\n");
}

TEST(PsockTransaction, ReplyNumberRules) {
    ScriptedPeer peer;
    peer.ReadLine().Send("221 Bye\r\n").ReadLine().Send("OK\r\n").ReadLine().Send("40000 big\r\n");
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string reply;
    session.Transaction("QUIT", reply);
    EXPECT_EQ(reply, "221 Bye\r\n");
    EXPECT_EQ(session.ReplyNumber, 221);
    session.Transaction("NOOP", reply);
    EXPECT_EQ(reply, "OK\r\n");
    EXPECT_EQ(session.ReplyNumber, 0);
    EXPECT_THROW(session.Transaction("BIG", reply), rtl::ERangeError);
    EXPECT_TRUE(peer.Wait());
    EXPECT_EQ(peer.Received(), "QUIT\r\nNOOP\r\nBIG\r\n");
}

TEST(PsockCapture, StringMaxLengthAndUntilClose) {
    const std::string hundred(100, 'h');
    ScriptedPeer peer;
    peer.Send(hundred).Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return session.DataAvailable(); }));
    std::string text;
    text.reserve(1000);
    const size_t capacity = text.capacity();
    session.CaptureString(text, 10);
    EXPECT_EQ(text, hundred);  // tested between chunks
    EXPECT_EQ(session.BytesRecvd, 100);
    session.CaptureString(text, -1);
    EXPECT_EQ(text, "");
    EXPECT_GE(text.capacity(), capacity);
}

TEST(PsockCapture, SlowBytesAllArrive) {
    ScriptedPeer peer;
    peer.SendSlowly("12345", std::chrono::milliseconds(20)).Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    int packets = 0;
    session.OnPacketRecvd = [&](TPowersock&) { ++packets; };
    std::string text;
    session.CaptureString(text, -1);
    EXPECT_EQ(text, "12345");
    EXPECT_GE(packets, 2);
}

TEST(PsockCapture, FileAndSendFile) {
    testsupport::TempFolder folder;
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    testsupport::WriteFile(folder.File("out.dat"), content);
    ScriptedPeer peer;
    peer.ReadBytes(content.size()).Send("reply").Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    session.SendFile(folder.File("out.dat"));
    EXPECT_EQ(session.BytesSent, static_cast<int64_t>(content.size()));
    session.CaptureFile(folder.File("in.dat"));
    EXPECT_EQ(testsupport::ReadFile(folder.File("in.dat")), "reply");
    EXPECT_TRUE(peer.Wait());
    EXPECT_EQ(peer.Received(), content);
    EXPECT_THROW(session.SendFile(folder.File("missing")), rtl::EInOutError);
}

TEST(PsockReliability, ResetMidTransferRaisesOrEnds) {
    ScriptedPeer peer;
    peer.Send(std::string(1000, 'r')).Reset();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string text;
    try {
        session.CaptureString(text, -1);
    } catch (const ESockError& error) {
        EXPECT_EQ(error.Message(), "10054:Connection reset by peer");
    }
    EXPECT_LE(text.size(), 1000u);
}

TEST(PsockReliability, PeerThatNeverReadsIsBoundedByTimeOut) {
    ScriptedPeer peer;
    peer.Hold();
    TPowersock session;
    ConnectTo(session, peer, 500);
    testsupport::TempFolder folder;
    testsupport::WriteFile(folder.File("big.dat"), std::string(64 << 20, 'b'));
    EXPECT_EQ(Raised<EAbortError>([&] { session.SendFile(folder.File("big.dat")); }),
              "Socket send aborted");
    EXPECT_TRUE(session.TimedOut);
    // Writes too end within the time-out once the socket buffers are full.
    const std::string chunk(60000, 'w');
    EXPECT_EQ(Raised<EAbortError>([&] {
                  for (;;)
                      session.Write(chunk);
              }),
              "Socket send aborted");
}

TEST(PsockReliability, NeverAnsweringPeerTimesOutCapture) {
    ScriptedPeer peer;
    peer.Hold();
    TPowersock session;
    ConnectTo(session, peer, 500);
    std::string text;
    EXPECT_EQ(Raised<EAbortError>([&] { session.CaptureString(text, -1); }),
              "Socket capture aborted");
    EXPECT_TRUE(session.TimedOut);
}

TEST(PsockAccept, AcceptsPendingConnection) {
    TPowersock server;
    const uint16_t port = server.Listen(0);
    TPowersock client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.TimeOut = 20000;
    client.Connect();
    const net::TSocket accepted = server.Accept();
    ASSERT_NE(accepted, net::InvalidSocket);
    client.Write("hi");
    char buffer[2];
    ASSERT_TRUE(
        testsupport::PumpUntil([&] { return net::ws::recv(accepted, buffer, 2, MSG_PEEK) == 2; }));
    EXPECT_EQ(std::string(buffer, 2), "hi");
    net::ws::closesocket(accepted);
}

TEST(PsockCancel, TimerTickCancelsReadAndSessionGoesOn) {
    ScriptedPeer peer;
    peer.Hold();
    TPowersock session;
    ConnectTo(session, peer, 0);  // no time-out: only the cancel can end the read
    net::TThreadTimer stopper;
    stopper.SetInterval(50);
    stopper.SetOnTimer([&](net::TThreadTimer& timer) {
        timer.SetEnabled(false);
        session.Abort();
    });
    std::string line;
    EXPECT_EQ(Raised<EAbortError>([&] { session.ReadLn(line); }), "Socket readln aborted");
    EXPECT_FALSE(session.TimedOut);
    EXPECT_FALSE(session.Canceled);
    EXPECT_TRUE(session.Connected);
}

TEST(PsockClose, PeerCloseReplacesSocketAfterDataIsRead) {
    ScriptedPeer peer;
    peer.Send("tail").Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    int disconnects = 0;
    session.OnDisconnect = [&](TPowersock&) { ++disconnects; };
    // Pumping alone must not drop the unread bytes with the socket.
    ASSERT_TRUE(testsupport::PumpUntil([&] { return session.DataAvailable(); }));
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(session.Connected);
    std::string text;
    session.CaptureString(text, -1);
    EXPECT_EQ(text, "tail");
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !session.Connected; }));
    EXPECT_EQ(disconnects, 1);
    // A close message queued for the old socket never reaches the new one.
    ScriptedPeer second;
    second.Send("again\n").Hold();
    ConnectTo(session, second, 20000);
    std::string line;
    session.ReadLn(line);
    EXPECT_EQ(line, "again\n");
    EXPECT_TRUE(session.Connected);
}

TEST(PsockClose, DisconnectRightAfterCaptureKeepsNextConnection) {
    ScriptedPeer first;
    first.Send("body").Close();
    TPowersock session;
    ConnectTo(session, first, 20000);
    std::string text;
    session.CaptureString(text, -1);
    EXPECT_EQ(text, "body");
    session.Disconnect();
    ScriptedPeer second;
    second.Send("x\n").Hold();
    ConnectTo(session, second, 20000);
    // Give any stale close message of the first socket its chance to arrive.
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(session.Connected);
    std::string line;
    session.ReadLn(line);
    EXPECT_EQ(line, "x\n");
}

TEST(PsockReadReady, ReadsThatLeaveBytesAreAnnouncedAndADrainedSocketRearms) {
    ScriptedPeer peer;
    peer.Send(std::string(100, 'r')).ReadBytes(1).Send("more").Hold();
    TPowersock session;
    int readReady = 0;
    session.OnReadReady = [&](TPowersock&) { ++readReady; };
    ConnectTo(session, peer, 20000);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return readReady >= 1; }));

    char buffer[100];
    ASSERT_EQ(net::ws::recv(session.SocketHandle, buffer, 10, 0), 10);
    // 90 bytes are still queued: the read is announced again.
    const int afterFirst = readReady;
    EXPECT_TRUE(testsupport::PumpUntil([&] { return readReady > afterFirst; }));

    ASSERT_EQ(net::ws::recv(session.SocketHandle, buffer, 100, 0), 90);
    // Nothing is queued: no announcement may follow until new bytes arrive.
    const int drained = readReady;
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(readReady, drained);

    session.Write("x");  // lets the peer send its second part
    ASSERT_TRUE(testsupport::PumpUntil([&] { return readReady > drained; }));
    ASSERT_EQ(net::ws::recv(session.SocketHandle, buffer, 100, 0), 4);
    EXPECT_EQ(std::string(buffer, 4), "more");
}

TEST(PsockCapture, CancelPostedDuringABulkCaptureIsSeenAtOnce) {
    // Bytes are always waiting here, so only a capture that processes the
    // application's events on every pass sees the cancel before the end.
    constexpr size_t Total = 16u << 20;
    ScriptedPeer peer;
    peer.Send(std::string(Total, 'b')).Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return session.DataAvailable(); }));
    bool posted = false;
    session.OnPacketRecvd = [&](TPowersock&) {
        if (!posted)
            QTimer::singleShot(0, [&] { session.Cancel(); });
        posted = true;
    };
    std::string text;
    EXPECT_EQ(Raised<EAbortError>([&] { session.CaptureString(text, -1); }),
              "Socket capture aborted");
    EXPECT_EQ(static_cast<int64_t>(text.size()), session.BytesRecvd);
    // The cancel runs in the pass that posted it (one pass of slack); draining
    // the socket buffers first would have taken megabytes.
    EXPECT_LE(text.size(), 2u * net::WorkBufferChunk);
    EXPECT_FALSE(session.Canceled);
}

namespace {
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 4096) % 251);
    return bytes;
}

std::string CaptureAll(const std::string& bytes, size_t reserve) {
    ScriptedPeer peer;
    peer.Send(bytes).Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string text;
    text.reserve(reserve);
    session.CaptureString(text, -1);
    return text;
}
}  // namespace

TEST(PsockCapture, LargeBodiesArriveExactWhateverTheReservedRoom) {
    const std::string bytes = Pattern(5u << 20);
    // Room for all of it, room for a part (the text moves mid-capture), none.
    for (const size_t reserve : {size_t{8} << 20, size_t{1} << 20, size_t{0}}) {
        const std::string text = CaptureAll(bytes, reserve);
        ASSERT_EQ(text.size(), bytes.size()) << "reserved " << reserve;
        EXPECT_TRUE(text == bytes) << "reserved " << reserve;
    }
}

TEST(PsockCapture, ReservedRoomFarBeyondTheTextStaysUnused) {
    // A caller may reserve for a length the peer announced but never sends:
    // the capture must not make that room resident.
    constexpr size_t Reserved = 64u << 20;
    constexpr size_t Slack = 4u << 20;
    const std::string bytes = Pattern(1u << 20);
    ScriptedPeer peer;
    peer.Send(bytes).Close();
    TPowersock session;
    ConnectTo(session, peer, 20000);
    std::string text;
    text.reserve(Reserved);
    session.CaptureString(text, -1);
    ASSERT_EQ(text.size(), bytes.size());

    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto base = reinterpret_cast<uintptr_t>(text.data());
    const uintptr_t first = (base + text.size() + Slack + page - 1) & ~(page - 1);
    const uintptr_t last = (base + text.capacity()) & ~(page - 1);
    ASSERT_LT(first, last);
    std::vector<unsigned char> resident((last - first) / page);
    ASSERT_EQ(::mincore(reinterpret_cast<void*>(first), last - first, resident.data()), 0);
    const auto used = std::count_if(resident.begin(), resident.end(),
                                    [](unsigned char flags) { return (flags & 1) != 0; });
    EXPECT_EQ(used, 0);
}

// A send without a connection is "not connected", whether the session never
// connected or closed its connection; a connection the peer reset stays a
// reset for every send that follows it.
TEST(PsockSend, NotConnectedIsToldApartFromAReset) {
    const std::string notConnected = "10057:Socket is not connected";
    TPowersock session;
    EXPECT_EQ(Raised<ESockError>([&] { session.Write("x"); }), notConnected);
    {
        ScriptedPeer peer;
        peer.Hold();
        ConnectTo(session, peer, 20000);
        session.Disconnect();
        EXPECT_EQ(Raised<ESockError>([&] { session.Write("x"); }), notConnected);
    }
    ScriptedPeer peer;
    peer.Reset();
    ConnectTo(session, peer, 20000);
    ASSERT_TRUE(peer.Wait());
    // Wait for the reset on the socket itself: processing events would let the
    // session see the close and replace its socket first.
    pollfd reset{session.SocketHandle, POLLIN, 0};
    ASSERT_EQ(::poll(&reset, 1, 20000), 1);
    const std::string resetByPeer = "10054:Connection reset by peer";
    EXPECT_EQ(Raised<ESockError>([&] { session.Write("x"); }), resetByPeer);
    EXPECT_EQ(Raised<ESockError>([&] { session.Write("x"); }), resetByPeer);
}
