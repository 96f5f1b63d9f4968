// Get of a large file from nginx in string mode, side by side with what a C++
// or Qt programmer would use instead to get a body into memory, all against the
// same nginx in the same run:
//   - libcurl's easy interface appending into a std::string (reserved once the
//     length is announced, as TNMHTTP does);
//   - Qt's QNetworkAccessManager appending every readyRead into a QByteArray
//     (reserved the same way);
//   - a bare blocking recv loop into a reserved std::string: the floor, what
//     storing the body costs on this machine at all;
//   - Get with DecodeContent, as the watcher fetches: the body passes the
//     decoding stages and ends at its Content-Length instead of at the close.
// Every round runs all four in a rotating order, each storing the whole body
// in fresh memory (the previous round's is freed first); the figures are the
// medians and ranges of the rounds, and the ratios are taken within a round,
// so load from other processes falls on all sides alike.
//
// Usage: http_bench [body bytes] [rounds] [name]
// With a name (get, libcurl, qt, bare, decoded) only that side runs, for a profile of
// one side alone: perf record -g build/bench/bin/http_bench 268435456 5 get
#include <curl/curl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
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
    double Seconds = -1;  // negative: the body did not arrive whole
    double PeakFactor = 0;
};

// Times one fetch: Fetch stores the body and returns its size; Release frees
// the previous round's body beforehand, so each round pays for its own memory.
TRound Measure(long long Size, const std::function<void()>& Release,
               const std::function<long long()>& Fetch) {
    Release();
    const long long residentBefore = Resident();
    ResetPeak();
    QElapsedTimer clock;
    clock.start();
    const long long got = Fetch();
    TRound round;
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const long long grown = std::max(PeakResident(), Resident()) - residentBefore;
    if (got != Size) {
        std::fprintf(stderr, "a fetch returned %lld bytes, expected %lld\n", got, Size);
        return round;
    }
    round.Seconds = seconds;
    round.PeakFactor = static_cast<double>(grown) / static_cast<double>(Size);
    return round;
}

// libcurl's process-wide set-up, for the life of the benchmark.
class TCurlGlobal {
public:
    TCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~TCurlGlobal() { curl_global_cleanup(); }
    TCurlGlobal(const TCurlGlobal&) = delete;
    TCurlGlobal& operator=(const TCurlGlobal&) = delete;
};

// libcurl as its documentation shows it: a write callback appending to a
// string; the string is reserved once the announced length is known.
class TCurlFetch {
public:
    TCurlFetch() : FCurl(curl_easy_init()) {}
    ~TCurlFetch() { curl_easy_cleanup(FCurl); }
    TCurlFetch(const TCurlFetch&) = delete;
    TCurlFetch& operator=(const TCurlFetch&) = delete;

    std::string Body;

    long long Get(const std::string& Url) {
        curl_easy_setopt(FCurl, CURLOPT_URL, Url.c_str());
        curl_easy_setopt(FCurl, CURLOPT_WRITEFUNCTION, &TCurlFetch::Write);
        curl_easy_setopt(FCurl, CURLOPT_WRITEDATA, this);
        if (curl_easy_perform(FCurl) != CURLE_OK)
            return -1;
        return static_cast<long long>(Body.size());
    }

private:
    static size_t Write(char* Data, size_t, size_t Count, void* Self) {
        auto* fetch = static_cast<TCurlFetch*>(Self);
        if (fetch->Body.empty()) {
            curl_off_t length = -1;
            if (curl_easy_getinfo(fetch->FCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                    CURLE_OK &&
                length > 0)
                fetch->Body.reserve(static_cast<size_t>(length));
        }
        fetch->Body.append(Data, Count);
        return Count;
    }

    CURL* FCurl;
};

// QNetworkAccessManager as a Qt programmer would use it: every readyRead is
// appended to a QByteArray, reserved once the header announces the length.
class TQtFetch {
public:
    QByteArray Body;

    long long Get(const std::string& Url) {
        QNetworkReply* reply = FManager.get(QNetworkRequest(QUrl(QString::fromStdString(Url))));
        QObject::connect(reply, &QNetworkReply::metaDataChanged, [this, reply] {
            const qlonglong length =
                reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            if (length > 0 && Body.isEmpty())
                Body.reserve(static_cast<qsizetype>(length));
        });
        QObject::connect(reply, &QNetworkReply::readyRead,
                         [this, reply] { Body += reply->readAll(); });
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        Body += reply->readAll();
        const bool ok = reply->error() == QNetworkReply::NoError;
        reply->deleteLater();
        return ok ? static_cast<long long>(Body.size()) : -1;
    }

private:
    QNetworkAccessManager FManager;
};

struct TContender {
    TContender(const char* AKey, const char* AName, std::function<TRound()> ARun)
        : Key(AKey), Name(AName), Run(std::move(ARun)) {}
    const char* Key;
    const char* Name;
    std::function<TRound()> Run;
    std::vector<double> Seconds;
    double WorstPeak = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const long long size = argc > 1 ? std::stoll(argv[1]) : 256LL << 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const std::string only = argc > 3 ? argv[3] : "";
    testsupport::NginxFixture nginx;
    nginx.AddLargeFile("big.bin", size);
    ::sync();
    nginx.Start();
    const std::string url = nginx.Url("/big.bin");
    const std::string request = "GET /big.bin HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    const TCurlGlobal curlGlobal;

    net::TNMHTTP http;
    // The body bound is lifted: the benchmark's body is meant to be large.
    http.MaxBodyLength = -1;
    net::TNMHTTP decoding;
    decoding.MaxBodyLength = -1;
    decoding.DecodeContent = true;
    TCurlFetch curl;
    TQtFetch qt;
    std::string bare;

    std::array<TContender, 5> contenders{{
        {"get", "TNMHTTP.Get",
         [&] {
             return Measure(
                 size, [&] { std::string().swap(http.Body); },
                 [&] {
                     http.Get(url);
                     return static_cast<long long>(http.Body.size());
                 });
         }},
        {"libcurl", "libcurl",
         [&] {
             return Measure(
                 size, [&] { std::string().swap(curl.Body); }, [&] { return curl.Get(url); });
         }},
        {"qt", "QNetworkAccessManager",
         [&] {
             return Measure(
                 size, [&] { qt.Body = QByteArray(); }, [&] { return qt.Get(url); });
         }},
        {"bare", "bare recv loop",
         [&] {
             return Measure(
                 size, [&] { std::string().swap(bare); },
                 [&] {
                     const double seconds = bench::BareCaptureInto(bare, nginx.Port(), request,
                                                                   static_cast<size_t>(size));
                     return seconds < 0 ? -1LL : static_cast<long long>(size);
                 });
         }},
        {"decoded", "TNMHTTP.Get decoding",
         [&] {
             return Measure(
                 size, [&] { std::string().swap(decoding.Body); },
                 [&] {
                     decoding.Get(url);
                     return static_cast<long long>(decoding.Body.size());
                 });
         }},
    }};

    const double mib = static_cast<double>(size) / 1048576.0;
    if (!only.empty()) {
        for (TContender& contender : contenders) {
            if (only != contender.Key)
                continue;
            std::vector<double> speeds;
            for (int i = 0; i < rounds; ++i) {
                const TRound round = contender.Run();
                if (round.Seconds > 0)
                    speeds.push_back(mib / round.Seconds);
            }
            const bench::TSpread spread = bench::Spread(speeds);
            std::printf("%s alone: %.0f MiB/s (%.0f-%.0f) over %zu rounds\n", contender.Name,
                        spread.Median, spread.Low, spread.High, speeds.size());
            return speeds.empty() ? 1 : 0;
        }
        std::fprintf(stderr, "no side named %s (get, libcurl, qt, bare, decoded)\n", only.c_str());
        return 2;
    }
    std::printf("body size: %.1f MiB, %d rounds, order rotating every round\n", mib, rounds);
    // Within-round ratios: the anchor's time over ours, so above 1 means ours
    // is faster.
    std::vector<double> versusCurl, versusQt, versusBare, versusDecoded;
    for (int i = 0; i < rounds; ++i) {
        std::array<TRound, 5> results;
        for (size_t k = 0; k < contenders.size(); ++k) {
            const size_t which = (k + static_cast<size_t>(i)) % contenders.size();
            results[which] = contenders[which].Run();
        }
        bool failed = false;
        for (size_t k = 0; k < contenders.size(); ++k) {
            if (results[k].Seconds <= 0) {
                std::printf("round %d: %s failed\n", i + 1, contenders[k].Name);
                failed = true;
            }
        }
        if (failed)
            continue;
        std::printf("round %d:", i + 1);
        for (size_t k = 0; k < contenders.size(); ++k) {
            contenders[k].Seconds.push_back(results[k].Seconds);
            contenders[k].WorstPeak = std::max(contenders[k].WorstPeak, results[k].PeakFactor);
            std::printf(" %s %.0f MiB/s%s", contenders[k].Name, mib / results[k].Seconds,
                        k + 1 < contenders.size() ? "," : "\n");
        }
        versusCurl.push_back(results[1].Seconds / results[0].Seconds);
        versusQt.push_back(results[2].Seconds / results[0].Seconds);
        versusBare.push_back(results[3].Seconds / results[0].Seconds);
        versusDecoded.push_back(results[4].Seconds / results[0].Seconds);
    }
    if (versusCurl.empty())
        return 1;

    std::printf("\nthroughput, median and range over %zu rounds; peak memory growth:\n",
                versusCurl.size());
    for (const TContender& contender : contenders) {
        std::vector<double> speeds;
        for (const double seconds : contender.Seconds)
            speeds.push_back(mib / seconds);
        const bench::TSpread spread = bench::Spread(speeds);
        std::printf("  %-22s %5.0f MiB/s  (%.0f-%.0f)  peak %.2f x body\n", contender.Name,
                    spread.Median, spread.Low, spread.High, contender.WorstPeak);
    }
    const auto ratio = [](const char* name, const std::vector<double>& values, const char* goal) {
        const bench::TSpread spread = bench::Spread(values);
        std::printf("  Get / %-22s median %.2f, range %.2f-%.2f%s\n", name, spread.Median,
                    spread.Low, spread.High, goal);
    };
    std::printf("speed ratios within a round (above 1: Get is faster):\n");
    ratio("libcurl", versusCurl, " (target >= 1.0)");
    ratio("QNetworkAccessManager", versusQt, " (target >= 1.0)");
    ratio("bare recv loop", versusBare, " (the floor: storing the body at all)");
    ratio("Get decoding", versusDecoded, " (the cost of decoding and the length)");
    return 0;
}
