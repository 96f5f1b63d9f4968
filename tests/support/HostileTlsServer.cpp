#include "tests/support/HostileTlsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "tests/support/LoopbackListener.h"

namespace testsupport {

namespace {

constexpr size_t MaxRequestBytes = 64 * 1024;

// One client connection: the TLS engine between memory buffers and the socket.
class Session {
public:
    Session(int fd, ssl_ctx_st* context, const std::atomic<bool>& stop, std::atomic<int64_t>& sent)
        : FFd(fd), FStop(stop), FSent(sent), FSsl(SSL_new(context)) {
        BIO* in = BIO_new(BIO_s_mem());
        FOut = BIO_new(BIO_s_mem());
        FIn = in;
        SSL_set_bio(FSsl, in, FOut);
        SSL_set_accept_state(FSsl);
    }
    ~Session() { SSL_free(FSsl); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Waits until the socket is ready for events; false when the server stops.
    bool Ready(short events) {
        while (!FStop) {
            pollfd p{FFd, events, 0};
            const int r = ::poll(&p, 1, 50);
            if (r > 0)
                return true;
            if (r < 0 && errno != EINTR)
                return false;
        }
        return false;
    }

    // Reads what the client sent; false once it closed (or the server stops).
    bool Pull(std::string* raw = nullptr) {
        if (!Ready(POLLIN))
            return false;
        char buffer[16384];
        const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        if (n <= 0)
            return false;
        if (raw)
            raw->append(buffer, static_cast<size_t>(n));
        else
            BIO_write(FIn, buffer, static_cast<int>(n));
        return true;
    }

    bool SendRaw(const char* data, size_t length) {
        while (length > 0) {
            if (!Ready(POLLOUT))
                return false;
            const ssize_t n = ::send(FFd, data, length, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                return false;
            data += n;
            length -= static_cast<size_t>(n);
            FSent += n;
        }
        return true;
    }

    // What the engine produced for the wire so far.
    std::string Produced() {
        std::string bytes;
        char buffer[16384];
        int n;
        while ((n = BIO_read(FOut, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<size_t>(n));
        return bytes;
    }

    bool Push() {
        const std::string bytes = Produced();
        return SendRaw(bytes.data(), bytes.size());
    }

    // Sleeps for a pause in short slices; false when the server stops.
    bool Pause(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!FStop && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !FStop;
    }

    // The handshake; a dribbling server sends each byte of its own after a pause.
    bool Handshake(int dribblePauseMs = 0) {
        for (;;) {
            const int result = SSL_do_handshake(FSsl);
            const std::string bytes = Produced();
            for (size_t i = 0; dribblePauseMs > 0 && i < bytes.size(); ++i)
                if (!Pause(dribblePauseMs) || !SendRaw(bytes.data() + i, 1))
                    return false;
            if (dribblePauseMs == 0 && !SendRaw(bytes.data(), bytes.size()))
                return false;
            if (result == 1)
                return true;
            if (SSL_get_error(FSsl, result) != SSL_ERROR_WANT_READ || !Pull())
                return false;
        }
    }

    // The header and the body its Content-Length announces.
    bool ReadRequest(std::string& request) {
        char buffer[4096];
        const auto complete = [&request] {
            const size_t end = request.find("\r\n\r\n");
            if (end == std::string::npos)
                return request.size() >= MaxRequestBytes;
            const size_t field = request.find("Content-Length: ");
            const size_t length =
                field < end ? std::stoul(request.substr(field + 16, end - field - 16)) : 0;
            return request.size() >= end + 4 + length;
        };
        while (!complete()) {
            const int n = SSL_read(FSsl, buffer, sizeof buffer);
            if (n > 0) {
                request.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (SSL_get_error(FSsl, n) != SSL_ERROR_WANT_READ || !Pull())
                return false;
        }
        return true;
    }

    bool Write(const char* data, size_t length) {
        while (length > 0) {
            const int piece = static_cast<int>(std::min<size_t>(length, 16384));
            if (SSL_write(FSsl, data, piece) != piece || !Push())
                return false;
            data += piece;
            length -= static_cast<size_t>(piece);
        }
        return true;
    }

    // The server's first handshake flight, answering the hello already pulled.
    std::string FirstFlight() {
        SSL_do_handshake(FSsl);
        return Produced();
    }

    // close_notify, then the end of the stream.
    void Shutdown() {
        SSL_shutdown(FSsl);
        Push();
        ::shutdown(FFd, SHUT_WR);
    }

    // Keeps the connection until the client closes it (or the server stops).
    void Hold() {
        std::string discarded;
        while (Pull(&discarded))
            discarded.clear();
    }

    void Reset() { ResetOnClose(FFd); }

private:
    int FFd;
    const std::atomic<bool>& FStop;
    std::atomic<int64_t>& FSent;
    SSL* FSsl;
    BIO* FIn = nullptr;
    BIO* FOut = nullptr;
};

}  // namespace

const char* HostileTlsServer::Name(Behaviour behaviour) {
    switch (behaviour) {
        case Behaviour::Answer:
            return "Answer";
        case Behaviour::SilentHandshake:
            return "SilentHandshake";
        case Behaviour::DribbleHandshake:
            return "DribbleHandshake";
        case Behaviour::PlainHttp:
            return "PlainHttp";
        case Behaviour::ResetMidHandshake:
            return "ResetMidHandshake";
        case Behaviour::BodyWithoutCloseNotify:
            return "BodyWithoutCloseNotify";
        case Behaviour::DribbleBody:
            return "DribbleBody";
        case Behaviour::SilentAfterHandshake:
            return "SilentAfterHandshake";
    }
    return "?";
}

HostileTlsServer::HostileTlsServer(Behaviour behaviour, const TestCertificates::Pair& certificate,
                                   const std::string& address)
    : FBehaviour(behaviour), FUrlHost(address == "::1" ? "[::1]" : address) {
    FContext = SSL_CTX_new(TLS_server_method());
    if (FContext == nullptr ||
        SSL_CTX_use_certificate_chain_file(FContext, certificate.Certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(FContext, certificate.Key.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(FContext);
        ERR_clear_error();
        throw std::runtime_error("the TLS test server cannot load " + certificate.Certificate);
    }
    try {
        FListen = ListenOnLoopback(address, 0, 64, FPort, SOCK_NONBLOCK);
    } catch (...) {
        SSL_CTX_free(FContext);
        throw;
    }
    FAcceptThread = std::thread([this] { Accept(); });
}

HostileTlsServer::~HostileTlsServer() {
    FStop = true;
    FAcceptThread.join();
    for (Worker& worker : FWorkers)
        worker.Thread.join();
    ::close(FListen);
    SSL_CTX_free(FContext);
}

std::string HostileTlsServer::Url(const std::string& path) const {
    return "https://" + FUrlHost + ":" + std::to_string(FPort) + path;
}

std::string HostileTlsServer::LastRequest() const {
    const std::lock_guard<std::mutex> lock(FMutex);
    return FLastRequest;
}

void HostileTlsServer::Accept() {
    while (!FStop) {
        pollfd p{FListen, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                ++FConnections;
                ++FOpen;
                Worker& worker = FWorkers.emplace_back();
                worker.Thread = std::thread([this, fd, &worker] {
                    Serve(fd);
                    ::close(fd);
                    --FOpen;
                    worker.Done = true;
                });
            }
        }
        // Finished connections go, so a long run keeps no threads behind.
        for (auto it = FWorkers.begin(); it != FWorkers.end();) {
            if (it->Done) {
                it->Thread.join();
                it = FWorkers.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void HostileTlsServer::Serve(int fd) {
    Session session(fd, FContext, FStop, FSent);
    std::string request;
    switch (FBehaviour) {
        case Behaviour::Answer:
            if (session.Handshake() && session.ReadRequest(request)) {
                {
                    const std::lock_guard<std::mutex> lock(FMutex);
                    FLastRequest = request;
                }
                if (session.Write(FReply.data(), FReply.size()))
                    session.Shutdown();
            }
            break;
        case Behaviour::SilentAfterHandshake:
            if (session.Handshake())
                while (session.Pause(50)) {
                }
            break;
        case Behaviour::SilentHandshake:
            if (session.Pull())
                session.Hold();
            break;
        case Behaviour::DribbleHandshake:
            if (session.Pull() && session.Handshake(FDribblePauseMs))
                session.Hold();
            break;
        case Behaviour::PlainHttp: {
            static const std::string page =
                "HTTP/1.0 400 Bad Request\r\nContent-Type: text/html\r\n\r\n"
                "<html><body>plain HTTP on a TLS port</body></html>";
            std::string hello;
            if (session.Pull(&hello) && session.SendRaw(page.data(), page.size())) {
                ::shutdown(fd, SHUT_WR);
                session.Hold();
            }
            break;
        }
        case Behaviour::ResetMidHandshake:
            if (session.Pull()) {
                const std::string flight = session.FirstFlight();
                session.SendRaw(flight.data(), flight.size() / 2);
                session.Reset();
            }
            break;
        case Behaviour::BodyWithoutCloseNotify: {
            static const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
            if (!session.Handshake() || !session.ReadRequest(request) ||
                !session.Write(head.data(), head.size()))
                break;
            std::string block(64 * 1024, '\0');
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<char>('a' + i % 26);
            for (int64_t left = FBodyBytes; left > 0;) {
                const auto piece = static_cast<size_t>(std::min<int64_t>(left, block.size()));
                if (!session.Write(block.data(), piece))
                    break;
                left -= static_cast<int64_t>(piece);
            }
            // The end of the stream without close_notify.
            ::shutdown(fd, SHUT_WR);
            session.Hold();
            break;
        }
        case Behaviour::DribbleBody: {
            static const std::string head =
                "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>";
            if (!session.Handshake() || !session.ReadRequest(request) ||
                !session.Write(head.data(), head.size()))
                break;
            while (session.Pause(FDribblePauseMs) && session.Write("x", 1)) {
            }
            break;
        }
    }
    ERR_clear_error();
}

}  // namespace testsupport
