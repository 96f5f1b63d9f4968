// Two measurements of the client over TLS, with a test CA made at run time:
//   get:     Get of a 1 MiB page from nginx over TLS on loopback, a new
//            connection (and handshake) each time, beside curl on the same URL
//            (curl --cacert <test CA>), in interleaved rounds. curl's time is
//            its own time_total, without its process start-up. Prints both
//            times per round, then the median and range of Get / curl.
//   dribble: a TLS server sends a response one byte (one record) every 100 ms
//            for 5 s into Get; prints the CPU time of the client's thread as a
//            share of the wall time (the server runs in threads of its own).
// Usage: tls_bench [all|get|dribble] [rounds]
#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/net/SideBySide.h"
#include "net/NMHttp.h"
#include "tests/support/HostileTlsServer.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TestCertificates.h"

namespace {

double ThreadCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double GetSeconds(const std::string& Url, size_t Expected) {
    // A new client each time, as a new curl process is.
    net::TNMHTTP http;
    http.SecureEnabled = true;
    http.TimeOut = 20000;
    QElapsedTimer clock;
    clock.start();
    try {
        http.Get(Url);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Get failed: %s\n", error.what());
        return -1;
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return http.Body.size() == Expected ? seconds : -1;
}

void BenchGet(const testsupport::TestCertificates& Certificates, int Rounds) {
    constexpr size_t Size = 1 << 20;
    testsupport::NginxFixture nginx;
    nginx.EnableTls(Certificates.Good().Certificate, Certificates.Good().Key);
    nginx.AddLargeFile("page.html", Size);
    nginx.Start();
    const std::string url = nginx.Url("/page.html");
    // CurlSeconds quotes the URL; the closing and opening quotes put curl's
    // option for the test CA beside it.
    const std::string curlUrl = url + "' --cacert '" + Certificates.Authority();
    // One of each first, so neither side pays for a cold cache in round 1.
    bench::CurlSeconds(curlUrl);
    GetSeconds(url, Size);
    std::vector<double> ratios;
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int i = 0; i < Rounds; ++i) {
        double curl = 0;
        double get = 0;
        if (i % 2 == 0) {
            curl = bench::CurlSeconds(curlUrl);
            get = GetSeconds(url, Size);
        } else {
            get = GetSeconds(url, Size);
            curl = bench::CurlSeconds(curlUrl);
        }
        if (curl <= 0 || get <= 0) {
            std::printf("round %d: %s failed\n", i + 1, curl <= 0 ? "curl" : "Get");
            continue;
        }
        ratios.push_back(get / curl);
        ours.push_back(get);
        theirs.push_back(curl);
        if (Rounds <= 30 || i < 5)
            std::printf("round %d: curl %.2f ms, TNMHTTP.Get %.2f ms, ratio %.2f\n", i + 1,
                        curl * 1e3, get * 1e3, get / curl);
    }
    const bench::TSpread ratio = bench::Spread(ratios);
    const bench::TSpread get = bench::Spread(ours);
    const bench::TSpread curl = bench::Spread(theirs);
    std::printf(
        "get 1 MiB over TLS, new connection each: Get median %.2f ms (%.2f-%.2f), curl "
        "median %.2f ms (%.2f-%.2f)\n",
        get.Median * 1e3, get.Low * 1e3, get.High * 1e3, curl.Median * 1e3, curl.Low * 1e3,
        curl.High * 1e3);
    std::printf(
        "time ratio Get / curl: median %.2f, range %.2f-%.2f over %zu rounds (target <= "
        "1.3)\n",
        ratio.Median, ratio.Low, ratio.High, ratios.size());
}

void BenchDribble(const testsupport::TestCertificates& Certificates) {
    testsupport::HostileTlsServer server(testsupport::HostileTlsServer::Behaviour::DribbleBody,
                                         Certificates.Good());
    server.SetDribblePause(100);
    net::TNMHTTP http;
    http.SecureEnabled = true;
    QTimer::singleShot(5000, [&http] { http.Abort(); });
    const double cpu0 = ThreadCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    try {
        http.Get(server.Url("/dribble"));
    } catch (const net::EAbortError&) {
        // The end of the measurement.
    }
    const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double cpu = ThreadCpuSeconds() - cpu0;
    std::printf(
        "dribble over TLS: %lld body bytes over %.2f s wall, %.3f s CPU = %.2f %% of wall "
        "(target < 1 %%)\n",
        static_cast<long long>(http.BytesRecvd), wall, cpu, 100.0 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::string which = argc > 1 ? argv[1] : "all";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;
    const testsupport::TestCertificates certificates;
    certificates.Trust();
    if (which == "all" || which == "get")
        BenchGet(certificates, rounds);
    if (which == "all" || which == "dribble")
        BenchDribble(certificates);
    return 0;
}
