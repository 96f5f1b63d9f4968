// What keeping each site's health costs: the transaction of one check over
// 10,000 checks as the window makes them (100 sites in turn, one in four
// failing), the size of perchly.db after a simulated year of 100 sites
// polled every 3 seconds, and how long `perchly --status` takes on that year.

#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/watch/HealthKeeper.h"
#include "app/watch/HealthStore.h"
#include "bench/health/ProgramTiming.h"
#include "rtl/GbText.h"
#include "tests/support/TestSupport.h"

namespace {

using bench::MillisecondsSince;
using bench::Percentile;
using bench::RunProgram;

using Clock = std::chrono::steady_clock;
constexpr int Sites = 100;
constexpr int64_t TickMs = 3000;

std::string SiteUrl(int i) {
    return "http://chat" + std::to_string(i) + ".example.org/room/who.php?id=" + std::to_string(i);
}

app::FetchOutcome Outcome(int tick) {
    app::FetchOutcome outcome;
    if (tick % 4 == 3) {
        outcome.Kind = app::FetchKind::Refused;
        outcome.Text = "Connection Failed";
    } else {
        outcome.Bytes = 40000;
    }
    outcome.DurationMs = 35;
    return outcome;
}

void TimeStatus(const std::string& program, const char* what) {
    for (const bool json : {false, true}) {
        std::vector<double> times;
        for (int run = 0; run < 21; ++run) {
            const double took =
                RunProgram(program, json ? std::vector<std::string>{"--status", "--json"}
                                         : std::vector<std::string>{"--status"});
            if (took < 0) {
                std::printf("  %s: perchly --status failed\n", what);
                return;
            }
            times.push_back(took);
        }
        std::printf("  %-32s %-16s median %6.1f ms, slowest %6.1f ms (21 runs)\n", what,
                    json ? "--status --json" : "--status", Percentile(times, 0.5),
                    Percentile(times, 1.0));
    }
}

}  // namespace

int main() {
    const int64_t now = QDateTime::currentMSecsSinceEpoch();

    // 1. The window's road: one transaction per check, 10,000 checks.
    testsupport::TempFolder live;
    {
        app::THealthKeeper keeper(live.File("perchly.db"));
        keeper.Open(now);
        std::vector<double> times;
        const int checks = 10000;
        const int64_t start = now - checks * TickMs;
        for (int tick = 0; tick < checks; ++tick) {
            const Clock::time_point begin = Clock::now();
            keeper.Record(SiteUrl(tick % Sites), "Room " + std::to_string(tick % Sites),
                          Outcome(tick / Sites), start + tick * TickMs);
            times.push_back(MillisecondsSince(begin));
        }
        std::printf("%d checks of %d sites, one transaction each (perchly.db in %s):\n", checks,
                    Sites, std::filesystem::temp_directory_path().c_str());
        std::printf(
            "  per check: median %.3f ms, 99th percentile %.3f ms, slowest %.3f ms;"
            " slowest write %.3f ms\n",
            Percentile(times, 0.5), Percentile(times, 0.99), Percentile(times, 1.0),
            static_cast<double>(keeper.SlowestWriteMicroseconds()) / 1000);
        keeper.Close(now);
    }
    std::printf("  perchly.db after them: %ju bytes\n",
                static_cast<uintmax_t>(std::filesystem::file_size(live.File("perchly.db"))));

    // 2. A year of 100 sites polled every 3 s: 10,512,000 checks, 288 per site
    // and day. The rows are the same whatever the batches: one per site, one
    // per site and day, the hours of the last two days; each day is written
    // as one transaction here instead of 28,800.
    testsupport::TempFolder year;
    {
        app::THealthStore store(year.File("perchly.db"));
        app::StoreProblem problem;
        if (!store.Open(problem)) {
            std::fprintf(stderr, "cannot open the year's database: %s\n", problem.Detail.c_str());
            return 1;
        }
        const int days = 365;
        const int64_t perDay = app::MillisecondsPerDay / TickMs / Sites;
        for (int day = 0; day < days; ++day) {
            const int64_t dayStart =
                now - static_cast<int64_t>(days - day) * app::MillisecondsPerDay;
            std::vector<app::SiteChanges> changes;
            for (int site = 0; site < Sites; ++site) {
                app::SiteChanges change;
                change.Url = SiteUrl(site);
                change.Name = rtl::Gb("聊天室 ") + std::to_string(site);
                change.Last =
                    app::CheckOf(Outcome(day + site), dayStart + app::MillisecondsPerDay - 1);
                change.FailuresInARow = change.Last.Failed ? 1 : 0;
                change.Days[app::DayOf(dayStart)] = {perDay, site % 4 == 3 ? perDay / 4 : 0};
                if (day >= days - 2)
                    for (int hour = 0; hour < 24; ++hour)
                        change.Hours[app::HourOf(dayStart) + hour] = {perDay / 24, 0};
                changes.push_back(std::move(change));
            }
            if (!store.Write(changes, dayStart + app::MillisecondsPerDay - 1, problem)) {
                std::fprintf(stderr, "write failed: %s\n", problem.Detail.c_str());
                return 1;
            }
        }
        store.Close();
    }
    std::printf("a year of %d sites every 3 s (%lld checks): perchly.db %ju bytes\n", Sites,
                static_cast<long long>(365 * app::MillisecondsPerDay / TickMs),
                static_cast<uintmax_t>(std::filesystem::file_size(year.File("perchly.db"))));

    // 3. perchly --status on that year, against the same program on an empty
    // folder (its start alone). Portable copies: each reads its own folder.
    std::string ini = "[TargetSite]\r\n";
    for (int site = 0; site < Sites; ++site)
        ini += "Site" + std::to_string(site) + "=" + rtl::Gb("聊天室 ") + std::to_string(site) +
               "\r\nSite" + std::to_string(site) + "Url=" + SiteUrl(site) + "\r\nSite" +
               std::to_string(site) + "ch=1\r\n";
    testsupport::TempFolder empty;
    for (const testsupport::TempFolder* folder : {&year, &empty}) {
        std::filesystem::copy_file(PERCHLY_PROGRAM, folder->File("perchly"));
        testsupport::WriteFile(folder->File("Message.ini"), "one\r\n");
    }
    testsupport::WriteFile(year.File("perchly.ini"), ini);
    std::printf("perchly --status (start of the program included):\n");
    TimeStatus(year.File("perchly"), "100 sites, a year of data");
    TimeStatus(empty.File("perchly"), "no sites, no database");
    return 0;
}
