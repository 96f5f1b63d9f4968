// Two measurements of the socket session against loopback peers in this process:
//   wait:       a peer dribbles one byte every 100 ms for 5 s into CaptureString;
//               prints the process CPU time as a share of the wall time.
//   throughput: a peer answers any request with a 256 MiB HTTP/1.0 response;
//               curl and CaptureString fetch it side by side for several
//               rounds; prints both rates per round and the median and range
//               of their ratio. curl's time is its own transfer time, without
//               its process start-up. A bare blocking recv loop into a fresh
//               string runs beside them: what storing the body costs at all.
//   capture:    CaptureString alone, for profiling.
// Usage: net_bench [all|wait|throughput|capture] [rounds]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/net/SideBySide.h"
#include "net/Psock.h"

namespace {

using Clock = std::chrono::steady_clock;

int ListenLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    port = ntohs(address.sin_port);
    return fd;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void SendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void BenchWait() {
    uint16_t port = 0;
    const int listener = ListenLoopback(port);
    std::thread peer([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            SendAll(fd, "x", 1);
        }
        ::close(fd);
    });
    net::TPowersock session;
    session.Host = "127.0.0.1";
    session.Port = port;
    session.Connect();
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    std::string text;
    session.CaptureString(text, -1);
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpu = CpuSeconds() - cpu0;
    peer.join();
    ::close(listener);
    std::printf("wait: %zu bytes over %.2f s wall, %.3f s CPU = %.2f %% of wall (target < 5 %%)\n",
                text.size(), wall, cpu, 100.0 * cpu / wall);
}

// A peer that answers every request with a BodySize-byte HTTP/1.0 response
// and closes, until Stop.
class TBulkPeer {
public:
    static constexpr size_t BodySize = 256u << 20;

    TBulkPeer() : FListener(ListenLoopback(FPort)), FThread([this] { Serve(); }) {}
    ~TBulkPeer() {
        // Wakes the accept; the thread then sees the listener fail and ends.
        ::shutdown(FListener, SHUT_RDWR);
        FThread.join();
        ::close(FListener);
    }
    uint16_t Port() const { return FPort; }

private:
    void Serve() {
        const std::string head =
            "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: " +
            std::to_string(BodySize) + "\r\n\r\n";
        const std::string block(1 << 20, 'b');
        for (;;) {
            const int fd = ::accept(FListener, nullptr, nullptr);
            if (fd < 0)
                return;
            char request[4096];
            std::string got;
            while (got.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(fd, request, sizeof request, 0);
                if (n <= 0)
                    break;
                got.append(request, static_cast<size_t>(n));
            }
            SendAll(fd, head.data(), head.size());
            for (size_t sent = 0; sent < BodySize; sent += block.size())
                SendAll(fd, block.data(), block.size());
            ::close(fd);
        }
    }

    uint16_t FPort = 0;
    int FListener;
    std::thread FThread;
};

// One capture of the peer's response into a fresh string (so every round pays
// for its own memory, as a real caller would); returns the seconds from the
// connect to the close, or a negative value when the bytes did not all arrive.
double CaptureOnce(net::TPowersock& Session, uint16_t Port) {
    Session.Host = "127.0.0.1";
    Session.Port = Port;
    std::string text;
    text.reserve(TBulkPeer::BodySize + 4096);
    const auto t0 = Clock::now();
    Session.Connect();
    Session.Write("GET /big HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    Session.CaptureString(text, -1);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    Session.Disconnect();
    return text.size() > TBulkPeer::BodySize ? seconds : -1;
}

// Rounds of curl and CaptureString on the same peer, in alternating order so
// neither side always runs on a warmer machine; prints every round and the
// median and range of the ratio.
void BenchThroughput(int Rounds) {
    TBulkPeer peer;
    const std::string url = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/big";
    const double mib = static_cast<double>(TBulkPeer::BodySize) / (1 << 20);
    const std::string request = "GET /big HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    net::TPowersock session;
    std::vector<double> ratios;
    std::vector<double> bareRatios;
    for (int round = 0; round < Rounds; ++round) {
        double curl = 0;
        double ours = 0;
        double bare = 0;
        if (round % 2 == 0) {
            curl = bench::CurlSeconds(url);
            ours = CaptureOnce(session, peer.Port());
            bare = bench::BareCaptureSeconds(peer.Port(), request, TBulkPeer::BodySize);
        } else {
            bare = bench::BareCaptureSeconds(peer.Port(), request, TBulkPeer::BodySize);
            ours = CaptureOnce(session, peer.Port());
            curl = bench::CurlSeconds(url);
        }
        if (curl <= 0 || ours <= 0 || bare <= 0) {
            std::printf("throughput round %d: %s failed\n", round + 1,
                        curl <= 0   ? "curl"
                        : ours <= 0 ? "CaptureString"
                                    : "the bare loop");
            continue;
        }
        ratios.push_back(curl / ours);
        bareRatios.push_back(curl / bare);
        std::printf(
            "throughput round %d: curl %.0f MiB/s, CaptureString %.0f MiB/s, bare loop %.0f MiB/s, "
            "ratio %.2f (bare loop %.2f)\n",
            round + 1, mib / curl, mib / ours, mib / bare, curl / ours, curl / bare);
    }
    const bench::TSpread spread = bench::Spread(ratios);
    const bench::TSpread bareSpread = bench::Spread(bareRatios);
    std::printf(
        "throughput: CaptureString / curl over %zu rounds: median %.2f, range %.2f-%.2f "
        "(curl stores nothing: no target; bench/http.sh compares with clients that store); "
        "a bare recv loop into a fresh string: median %.2f, range %.2f-%.2f\n",
        ratios.size(), spread.Median, spread.Low, spread.High, bareSpread.Median, bareSpread.Low,
        bareSpread.High);
}

// CaptureString alone, for profiling the session's side.
void BenchCapture(int Rounds) {
    TBulkPeer peer;
    net::TPowersock session;
    const double mib = static_cast<double>(TBulkPeer::BodySize) / (1 << 20);
    for (int round = 0; round < Rounds; ++round) {
        const double seconds = CaptureOnce(session, peer.Port());
        std::printf("capture round %d: %.0f MiB/s\n", round + 1, seconds > 0 ? mib / seconds : 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::string which = argc > 1 ? argv[1] : "all";
    if (which == "all" || which == "wait")
        BenchWait();
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (which == "all" || which == "throughput")
        BenchThroughput(rounds);
    if (which == "capture")
        BenchCapture(rounds);
    return 0;
}
