// Two measurements of the socket session against loopback peers in this process:
//   wait:       a peer dribbles one byte every 100 ms for 5 s into CaptureString;
//               prints the process CPU time as a share of the wall time.
//   throughput: a peer answers any request with a 256 MiB HTTP/1.0 response;
//               curl and CaptureString fetch it side by side; prints both rates
//               and their ratio.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

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

void BenchThroughput() {
    constexpr size_t BodySize = 256u << 20;
    uint16_t port = 0;
    const int listener = ListenLoopback(port);
    std::atomic<bool> stop{false};
    std::thread server([&] {
        const std::string head =
            "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: " +
            std::to_string(BodySize) + "\r\n\r\n";
        const std::string block(1 << 20, 'b');
        for (int served = 0; served < 2 && !stop; ++served) {
            const int fd = ::accept(listener, nullptr, nullptr);
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
    });

    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
    auto t0 = Clock::now();
    const int rc = std::system(("curl -s -o /dev/null " + url).c_str());
    const double curlSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (rc != 0)
        std::printf("throughput: curl failed (%d)\n", rc);

    net::TPowersock session;
    session.Host = "127.0.0.1";
    session.Port = port;
    t0 = Clock::now();
    session.Connect();
    session.Write("GET /big HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    std::string text;
    text.reserve(BodySize + 4096);
    session.CaptureString(text, -1);
    const double ourSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    server.join();
    ::close(listener);

    const double mib = static_cast<double>(BodySize) / (1 << 20);
    const double curlRate = mib / curlSeconds;
    const double ourRate = static_cast<double>(text.size()) / (1 << 20) / ourSeconds;
    std::printf(
        "throughput: curl %.0f MiB/s, CaptureString %.0f MiB/s (%zu bytes), ratio %.2f "
        "(target >= 0.8)\n",
        curlRate, ourRate, text.size(), ourRate / curlRate);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::string which = argc > 1 ? argv[1] : "all";
    if (which == "all" || which == "wait")
        BenchWait();
    if (which == "all" || which == "throughput")
        BenchThroughput();
    return 0;
}
