#pragma once

// A TLS server on 127.0.0.1 (or ::1) for tests, benchmarks and soak runs of clients: it
// answers properly or misbehaves on purpose. Each connection is served in a
// thread of its own by server-side OpenSSL over memory buffers, so the bytes
// on the wire can be held back, dribbled or cut wherever the behaviour says.
// It keeps serving until it is destroyed:
//
//   testsupport::HostileTlsServer server(Behaviour::Answer,
//                                        TestCertificates::Shared().Good());
//   client.Get(server.Url("/who"));
#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/TestCertificates.h"

struct ssl_ctx_st;

namespace testsupport {

class HostileTlsServer {
public:
    enum class Behaviour {
        Answer,                  // handshake, request, Reply, close_notify, close
        SilentHandshake,         // reads the client's hello, never answers or closes
        DribbleHandshake,        // its handshake bytes one per pause (1 s)
        PlainHttp,               // answers the hello with a plain HTTP page, closes
        ResetMidHandshake,       // sends half of its first handshake flight, resets
        BodyWithoutCloseNotify,  // a page of BodyBytes (10 MiB), closes without close_notify
        DribbleBody,             // an endless response, one byte (one record) per pause
        SilentAfterHandshake,    // completes the handshake, then neither reads nor answers
    };
    static const char* Name(Behaviour behaviour);

    // Listens on "127.0.0.1" or "::1".
    HostileTlsServer(Behaviour behaviour, const TestCertificates::Pair& certificate,
                     const std::string& address = "127.0.0.1");
    ~HostileTlsServer();
    HostileTlsServer(const HostileTlsServer&) = delete;
    HostileTlsServer& operator=(const HostileTlsServer&) = delete;

    Behaviour How() const { return FBehaviour; }
    uint16_t Port() const { return FPort; }
    // "https://127.0.0.1:<port>" (or "https://[::1]:<port>") + path.
    std::string Url(const std::string& path) const;

    // Set before the first connection.
    void SetReply(const std::string& reply) { FReply = reply; }
    void SetDribblePause(int milliseconds) { FDribblePauseMs = milliseconds; }
    void SetBodyBytes(int64_t bytes) { FBodyBytes = bytes; }

    // The last request received over TLS (header and Content-Length body), as
    // the client sent it.
    std::string LastRequest() const;
    int Connections() const { return FConnections; }
    int OpenConnections() const { return FOpen; }
    // Descriptors the server holds in this process: its listening socket and
    // its connections.
    int Descriptors() const { return FOpen + 1; }
    int64_t SentBytes() const { return FSent; }

private:
    struct Worker {
        std::thread Thread;
        std::atomic<bool> Done{false};
    };
    void Accept();
    void Serve(int fd);

    Behaviour FBehaviour;
    ssl_ctx_st* FContext = nullptr;
    int FListen = -1;
    uint16_t FPort = 0;
    std::string FUrlHost;
    std::string FReply =
        "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>secure page</body></html>";
    std::atomic<int> FDribblePauseMs{1000};
    std::atomic<int64_t> FBodyBytes{int64_t{10} << 20};
    std::atomic<bool> FStop{false};
    std::atomic<int> FConnections{0};
    std::atomic<int> FOpen{0};
    std::atomic<int64_t> FSent{0};
    mutable std::mutex FMutex;
    std::string FLastRequest;
    std::list<Worker> FWorkers;  // touched by the accept thread only
    std::thread FAcceptThread;
};

}  // namespace testsupport
