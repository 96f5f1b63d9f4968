// Get of a large file from nginx in string mode, side by side with curl on the
// same URL in the same run: throughputs, their ratio and the peak memory of the
// Get against the body size.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <fstream>
#include <string>

#include "net/NMHttp.h"
#include "tests/support/NginxFixture.h"

namespace {
// Peak resident memory of this process so far, in bytes.
long long PeakResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

long long Resident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const long long size = argc > 1 ? std::stoll(argv[1]) : 256LL << 20;
    testsupport::NginxFixture nginx;
    nginx.AddLargeFile("big.bin", size);
    nginx.Start();
    const std::string url = nginx.Url("/big.bin");

    QElapsedTimer clock;
    clock.start();
    QProcess curl;
    curl.start("curl", {"-s", "-o", "/dev/null", QString::fromStdString(url)});
    curl.waitForFinished(-1);
    const double curlSeconds = clock.nsecsElapsed() / 1e9;

    const long long residentBefore = Resident();
    const long long peakBefore = PeakResident();
    net::TNMHTTP http;
    clock.restart();
    http.Get(url);
    const double getSeconds = clock.nsecsElapsed() / 1e9;
    const long long peakAfter = PeakResident();
    if (static_cast<long long>(http.Body.size()) != size) {
        std::fprintf(stderr, "Get returned %zu bytes, expected %lld\n", http.Body.size(), size);
        return 1;
    }
    const double mib = size / 1048576.0;
    const double grown = static_cast<double>(std::max(peakAfter, peakBefore) - residentBefore);
    std::printf("body size:        %.1f MiB\n", mib);
    std::printf("curl:             %.1f MiB/s (%.3f s)\n", mib / curlSeconds, curlSeconds);
    std::printf("TNMHTTP.Get:      %.1f MiB/s (%.3f s)\n", mib / getSeconds, getSeconds);
    std::printf("throughput ratio: %.2f (Get / curl, target >= 0.8)\n", curlSeconds / getSeconds);
    std::printf(
        "peak memory:      %.2f x body size (peak resident growth during Get, target <= 1.3)\n",
        grown / static_cast<double>(size));
    return 0;
}
