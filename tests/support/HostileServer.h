#pragma once

// An HTTP server on 127.0.0.1 that misbehaves on purpose, for tests and soak
// runs of clients that must survive it. It serves every connection the same
// way, in a thread of its own (so it pushes data as fast as the kernel takes
// it, whatever the client's event loop does), and keeps serving until it is
// destroyed:
//
//   testsupport::HostileServer hostile(testsupport::HostileServer::Behaviour::Silent);
//   site.Url = hostile.Url("/who");
//
// Every behaviour except Refuse reads the request header first.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace testsupport {

class HostileServer {
public:
    enum class Behaviour {
        Silent,             // accepts, reads, never answers, never closes
        Dribble,            // an endless response, one byte per pause (1 s)
        EndlessBody,        // a status line, a header, then filler without end
        ManyHeaderLines,    // 100,000 header lines, then a small page
        HugeHeaderLine,     // one header line of 10 MiB, then a small page
        ResetMidBody,       // announces 1 MiB, sends 64 KiB, then resets
        GarbageStatusLine,  // binary bytes where the status line belongs
        RedirectToSelf,     // 302 with a Location of the very same URL, always
        Refuse,             // nothing listens: every connect is refused
    };
    static const char* Name(Behaviour behaviour);

    explicit HostileServer(Behaviour behaviour);
    ~HostileServer();
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    Behaviour How() const { return FBehaviour; }
    uint16_t Port() const { return FPort; }
    // "http://127.0.0.1:<port>" + path.
    std::string Url(const std::string& path) const;
    // Pause between the bytes of Dribble; set before the first connection.
    void SetDribblePause(int milliseconds) { FDribblePauseMs = milliseconds; }

    // Connections accepted so far, and those still open.
    int Connections() const { return FConnections; }
    int OpenConnections() const { return FOpen; }
    // Descriptors the server holds in this process: its connections and, unless
    // it refuses, its listening socket.
    int Descriptors() const { return FOpen + (FListen >= 0 ? 1 : 0); }
    // Bytes sent to clients so far.
    int64_t SentBytes() const { return FSent; }

private:
    void Run();

    Behaviour FBehaviour;
    int FListen = -1;
    uint16_t FPort = 0;
    std::atomic<int> FDribblePauseMs{1000};
    std::atomic<bool> FStop{false};
    std::atomic<int> FConnections{0};
    std::atomic<int> FOpen{0};
    std::atomic<int64_t> FSent{0};
    std::thread FThread;
};

}  // namespace testsupport
