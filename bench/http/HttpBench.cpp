// Get of a large file from nginx in string mode, side by side with curl on the
// same URL in the same run: several interleaved rounds, each printing both
// throughputs, their ratio and the peak memory of the Get against the body
// size; then the median and range of the ratio and the largest peak.
//
// curl's time is its own transfer time (-w time_total), so its process
// start-up, which the Get does not pay, is not counted against it. The file is
// flushed to disk before the first round, so its write-back does not slow
// whichever side happens to run first. A bare blocking recv loop into a fresh
// string runs beside them: what storing the body costs at all.
//
// Usage: http_bench [body bytes] [rounds]
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/net/SideBySide.h"
#include "net/NMHttp.h"
#include "tests/support/NginxFixture.h"

namespace {
long long StatusField(const char* Name) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = Name;
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stoll(line.substr(prefix.size())) * 1024;
    return 0;
}

// Peak resident memory since the last ResetPeak, in bytes.
long long PeakResident() {
    return StatusField("VmHWM:");
}

long long Resident() {
    return StatusField("VmRSS:");
}

// Lets the next PeakResident measure one round on its own.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct TRound {
    double Seconds = -1;
    double PeakFactor = 0;
};

TRound GetOnce(net::TNMHTTP& Http, const std::string& Url, long long Size) {
    // The previous round's body goes first, so each round starts from the same
    // resident size and pays for its own memory.
    std::string().swap(Http.Body);
    const long long residentBefore = Resident();
    ResetPeak();
    QElapsedTimer clock;
    clock.start();
    Http.Get(Url);
    TRound round;
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const long long grown = std::max(PeakResident(), Resident()) - residentBefore;
    if (static_cast<long long>(Http.Body.size()) != Size) {
        std::fprintf(stderr, "Get returned %zu bytes, expected %lld\n", Http.Body.size(), Size);
        return round;
    }
    round.Seconds = seconds;
    round.PeakFactor = static_cast<double>(grown) / static_cast<double>(Size);
    return round;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const long long size = argc > 1 ? std::stoll(argv[1]) : 256LL << 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    testsupport::NginxFixture nginx;
    nginx.AddLargeFile("big.bin", size);
    ::sync();
    nginx.Start();
    const std::string url = nginx.Url("/big.bin");

    net::TNMHTTP http;
    // The body bound is lifted: the benchmark's body is meant to be large.
    http.MaxBodyLength = -1;
    const double mib = static_cast<double>(size) / 1048576.0;
    std::printf("body size: %.1f MiB, %d rounds\n", mib, rounds);
    const std::string request = "GET /big.bin HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<double> ratios;
    std::vector<double> bareRatios;
    double worstPeak = 0;
    for (int i = 0; i < rounds; ++i) {
        double curl = 0;
        double bare = 0;
        TRound ours;
        if (i % 2 == 0) {
            curl = bench::CurlSeconds(url);
            ours = GetOnce(http, url, size);
            bare = bench::BareCaptureSeconds(nginx.Port(), request, static_cast<size_t>(size));
        } else {
            bare = bench::BareCaptureSeconds(nginx.Port(), request, static_cast<size_t>(size));
            ours = GetOnce(http, url, size);
            curl = bench::CurlSeconds(url);
        }
        if (curl <= 0 || ours.Seconds <= 0 || bare <= 0) {
            std::printf("round %d: %s failed\n", i + 1,
                        curl <= 0           ? "curl"
                        : ours.Seconds <= 0 ? "Get"
                                            : "the bare loop");
            continue;
        }
        ratios.push_back(curl / ours.Seconds);
        bareRatios.push_back(curl / bare);
        worstPeak = std::max(worstPeak, ours.PeakFactor);
        std::printf(
            "round %d: curl %.0f MiB/s, TNMHTTP.Get %.0f MiB/s, bare loop %.0f MiB/s, ratio %.2f "
            "(bare loop %.2f), peak memory %.2f x body\n",
            i + 1, mib / curl, mib / ours.Seconds, mib / bare, curl / ours.Seconds, curl / bare,
            ours.PeakFactor);
    }
    const bench::TSpread spread = bench::Spread(ratios);
    const bench::TSpread bareSpread = bench::Spread(bareRatios);
    std::printf(
        "throughput ratio: median %.2f, range %.2f-%.2f over %zu rounds (Get / curl, "
        "target >= 0.8)\n",
        spread.Median, spread.Low, spread.High, ratios.size());
    std::printf(
        "bare recv loop into a fresh string / curl: median %.2f, range %.2f-%.2f (what "
        "storing the body costs at all)\n",
        bareSpread.Median, bareSpread.Low, bareSpread.High);
    std::printf(
        "peak memory:      %.2f x body size at most (peak resident growth during Get, "
        "target <= 1.3)\n",
        worstPeak);
    return ratios.empty() ? 1 : 0;
}
