#pragma once

// Helpers of the benchmarks that compare a fetch with curl's on the same peer in
// the same run: curl's own transfer time (without its process start-up, which
// the session being compared does not pay either), a bare receive loop that
// shows what storing the bytes in memory costs on this machine at all, and the
// median and range of the ratios of several interleaved rounds.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Fetches Url with `curl -s -o /dev/null` and returns curl's own measure of the
// transfer (connect to the last byte), in seconds; negative when curl failed.
inline double CurlSeconds(const std::string& Url) {
    const std::string command = "curl -s -o /dev/null -w '%{time_total}' '" + Url + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char text[64] = {};
    const size_t got = std::fread(text, 1, sizeof text - 1, pipe);
    const int status = ::pclose(pipe);
    if (status != 0 || got == 0)
        return -1;
    return std::stod(std::string(text, got));
}

// The plainest capture into memory: a blocking socket, one request, then recv
// of 64 KiB blocks appended to Text, reserved for Expected bytes, until the
// peer closes. No event loop, no time-out, no messages: the floor of any
// capture into fresh memory on this machine (chiefly the copy and the page
// faults), against which a session's own loop can be judged. Returns the
// seconds from the connect to the close; negative when fewer than Expected
// bytes arrived.
inline double BareCaptureInto(std::string& Text, uint16_t Port, const std::string& Request,
                              size_t Expected) {
    using Clock = std::chrono::steady_clock;
    Text.clear();
    Text.reserve(Expected + 65536);
    static char block[65536];
    const auto t0 = Clock::now();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(Port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, Request.data(), Request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(Request.size())) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    for (;;) {
        const ssize_t n = ::recv(fd, block, sizeof block, 0);
        if (n <= 0)
            break;
        Text.append(block, static_cast<size_t>(n));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    ::close(fd);
    return Text.size() >= Expected ? seconds : -1;
}

// The same into a fresh string of its own. curl's command-line side stores
// nothing and this side stores everything, so its ratio to curl shows how much
// of any gap is the cost of putting the body in memory at all.
inline double BareCaptureSeconds(uint16_t Port, const std::string& Request, size_t Expected) {
    std::string text;
    return BareCaptureInto(text, Port, Request, Expected);
}

struct TSpread {
    double Median = 0;
    double Low = 0;
    double High = 0;
};

inline TSpread Spread(std::vector<double> Values) {
    TSpread result;
    if (Values.empty())
        return result;
    std::sort(Values.begin(), Values.end());
    const size_t n = Values.size();
    result.Median = n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
    result.Low = Values.front();
    result.High = Values.back();
    return result;
}

}  // namespace bench
