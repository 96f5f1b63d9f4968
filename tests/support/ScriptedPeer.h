#pragma once

// A scripted TCP peer on 127.0.0.1 (or ::1) for tests of exact bytes and misbehaving
// servers. It listens on a port chosen by the system, accepts one connection in
// its own thread and then runs its script step by step:
//
//   testsupport::ScriptedPeer peer;
//   peer.Send("221 Bye\r\n").Close();
//   peer.Start();                 // listening from here on; Port() is valid
//   session.Port = peer.Port();
//   ...
//   peer.Wait();                  // the script has run to its end
//   EXPECT_EQ(peer.Received(), "QUIT\r\n");
//
// Steps: Send (bytes at once), SendSlowly (one byte per pause), ReadBytes (wait
// for N bytes, recorded), ReadLine (wait for a line feed, recorded), ReadUntil
// (wait until the bytes read end with a marker, such as the blank line that
// ends a request header, recorded), Close
// (graceful), Reset (SO_LINGER 0, so the peer sees a reset), Hold (keep the
// connection open without reading or answering until the peer is destroyed).
// A script that ends without Close/Reset closes gracefully. The destructor stops
// any step that still waits.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ScriptedPeer {
public:
    // Listens on "127.0.0.1" or "::1" (IPv6 only: the same port of 127.0.0.1
    // stays free); throws std::runtime_error when it cannot.
    explicit ScriptedPeer(const std::string& ListenAddress = "127.0.0.1");
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    ScriptedPeer& Send(std::string Bytes);
    ScriptedPeer& SendSlowly(std::string Bytes, std::chrono::milliseconds Pause);
    ScriptedPeer& ReadBytes(size_t Count);
    ScriptedPeer& ReadLine();
    ScriptedPeer& ReadUntil(std::string Marker);
    ScriptedPeer& Close();
    ScriptedPeer& Reset();
    ScriptedPeer& Hold();

    // Starts the thread; the peer accepts one connection.
    void Start();
    uint16_t Port() const { return FPort; }
    // Blocks until the script ended (or the deadline passed); true when it did.
    bool Wait(std::chrono::milliseconds Deadline = std::chrono::seconds(20));
    // Everything the read steps received, in order.
    std::string Received() const;
    bool Accepted() const { return FAccepted; }

private:
    struct TStep {
        enum class TKind { Send, SendSlowly, ReadBytes, ReadUntil, Close, Reset, Hold } Kind;
        std::string Bytes;
        size_t Count = 0;
        std::chrono::milliseconds Pause{0};
    };
    void Run();
    bool WaitReadable(int Fd, int TimeoutMs);
    bool SendAll(int Fd, const char* Data, size_t Length);

    std::vector<TStep> FSteps;
    int FListen = -1;
    uint16_t FPort = 0;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FDone{false};
    std::atomic<bool> FAccepted{false};
    mutable std::mutex FMutex;
    std::string FReceived;
};

}  // namespace testsupport
