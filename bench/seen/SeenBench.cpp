// What keeping presence costs: the check's transaction with and without the
// spans of 100 names present on every one of 100 sites, side by side; the
// size of perchly.db after a simulated year of 100 nicknames on 100 sites;
// how long the records window takes to open on that year, the day's pruning
// and `perchly --seen`.

#include <QApplication>
#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/gui/SeenRecordsWindow.h"
#include "app/watch/HealthKeeper.h"
#include "app/watch/HealthStore.h"
#include "bench/health/ProgramTiming.h"
#include "bench/net/SideBySide.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace {

using bench::MillisecondsSince;
using bench::Percentile;
using bench::RunProgram;

using Clock = std::chrono::steady_clock;
constexpr int Sites = 100;
constexpr int Names = 100;
constexpr int64_t Minute = 60 * 1000;

std::string SiteUrl(int i) {
    return "http://chat" + std::to_string(i) + ".example.org/room/who.php?id=" + std::to_string(i);
}

std::string Nick(int i) {
    return rtl::Gb("小燕子") + std::to_string(1000 + i);
}

// Nickname n visits three sites, twice a day each, about 40 minutes a time,
// at hours of its own: 600 spans a day.
void AddDay(std::vector<app::SiteChanges>& changes, int64_t dayStart, int day) {
    for (int n = 0; n < Names; ++n)
        for (int visit = 0; visit < 3; ++visit) {
            const int site = (n * 7 + visit * 31) % Sites;
            for (int session = 0; session < 2; ++session) {
                const int64_t from =
                    dayStart + ((n + visit * 5 + session * 11 + day) % 24) * 60 * Minute;
                const int64_t to = from + (30 + (n + day) % 20) * Minute;
                app::SiteChanges& change = changes[static_cast<size_t>(site)];
                change.Spans[{Nick(n), from}] = {Nick(n), change.Url,          from,
                                                 to,      (to - from) / 18000, false};
            }
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    const int64_t now = QDateTime::currentMSecsSinceEpoch();

    // 1. The window's road, one transaction per check, side by side: the same
    // 10,000 checks of 100 sites with every one of 100 names present on every
    // page, and with no names looked for.
    {
        testsupport::TempFolder withFolder, withoutFolder;
        app::THealthKeeper with(withFolder.File("perchly.db"));
        app::THealthKeeper without(withoutFolder.File("perchly.db"));
        with.Open(now);
        without.Open(now);
        app::PresenceCheck everybody;
        for (int n = 0; n < Names; ++n)
            everybody.Names.emplace_back(Nick(n), true);
        app::FetchOutcome ok;
        ok.Bytes = 40000;
        std::vector<double> withTimes, withoutTimes, ratios;
        const int checks = 10000;
        const int64_t start = now - checks * 3000;
        for (int tick = 0; tick < checks; ++tick) {
            const std::string url = SiteUrl(tick % Sites);
            const std::string name = "Room " + std::to_string(tick % Sites);
            const int64_t at = start + tick * 3000;
            const auto timed = [&](app::THealthKeeper& keeper, const app::PresenceCheck* check) {
                const Clock::time_point begin = Clock::now();
                keeper.Record(url, name, ok, at, check);
                return MillisecondsSince(begin);
            };
            double a = 0;
            double b = 0;
            if (tick % 2 == 0) {
                a = timed(with, &everybody);
                b = timed(without, nullptr);
            } else {
                b = timed(without, nullptr);
                a = timed(with, &everybody);
            }
            withTimes.push_back(a);
            withoutTimes.push_back(b);
            ratios.push_back(a / b);
        }
        std::printf("%d checks of %d sites, %d names present on every page:\n", checks, Sites,
                    Names);
        std::printf(
            "  with presence:    median %.3f ms, 99th percentile %.3f ms, slowest write "
            "%.3f ms\n",
            Percentile(withTimes, 0.5), Percentile(withTimes, 0.99),
            static_cast<double>(with.SlowestWriteMicroseconds()) / 1000);
        std::printf(
            "  without presence: median %.3f ms, 99th percentile %.3f ms, slowest write "
            "%.3f ms\n",
            Percentile(withoutTimes, 0.5), Percentile(withoutTimes, 0.99),
            static_cast<double>(without.SlowestWriteMicroseconds()) / 1000);
        const bench::TSpread cost = bench::Spread(ratios);
        std::printf("  with/without per check: median %.2f (range %.2f-%.2f)\n", cost.Median,
                    cost.Low, cost.High);
        with.Close(now);
        without.Close(now);
    }

    // 2. A year of 100 nicknames on 100 sites, written a day per transaction
    // (the rows are the same whatever the batches).
    testsupport::TempFolder year;
    const int days = 365;
    {
        app::THealthStore store(year.File("perchly.db"));
        app::StoreProblem problem;
        if (!store.Open(problem)) {
            std::fprintf(stderr, "cannot open the year's database: %s\n", problem.Detail.c_str());
            return 1;
        }
        for (int day = 0; day < days; ++day) {
            const int64_t dayStart =
                now - static_cast<int64_t>(days - day) * app::MillisecondsPerDay;
            std::vector<app::SiteChanges> changes(Sites);
            for (int site = 0; site < Sites; ++site) {
                changes[static_cast<size_t>(site)].Url = SiteUrl(site);
                changes[static_cast<size_t>(site)].Name = rtl::Gb("聊天室 ") + std::to_string(site);
                changes[static_cast<size_t>(site)].Last.TimeUtcMs =
                    dayStart + app::MillisecondsPerDay - 1;
            }
            AddDay(changes, dayStart, day);
            if (!store.Write(changes, dayStart + app::MillisecondsPerDay - 1, problem)) {
                std::fprintf(stderr, "write failed: %s\n", problem.Detail.c_str());
                return 1;
            }
        }
        store.Close();
    }
    std::printf("a year of %d nicknames on %d sites (%d spans): perchly.db %ju bytes\n", Names,
                Sites, days * Names * 6,
                static_cast<uintmax_t>(std::filesystem::file_size(year.File("perchly.db"))));

    // 3. The records window on that year: the keeper opened as the window
    // does, then the window built (which reads the records) and shown, and
    // read again, several times.
    {
        app::THealthKeeper keeper(year.File("perchly.db"));
        const Clock::time_point opening = Clock::now();
        keeper.Open(now);
        std::printf("  the keeper's start on it: %.1f ms\n", MillisecondsSince(opening));
        testsupport::FakeDesktopServices desktop;
        std::vector<double> opens, refreshes;
        for (int run = 0; run < 7; ++run) {
            const Clock::time_point begin = Clock::now();
            app::TSeenRecordsWindow window(keeper, desktop, nullptr);
            window.show();
            QApplication::processEvents();
            opens.push_back(MillisecondsSince(begin));
            const Clock::time_point again = Clock::now();
            window.Refresh();
            QApplication::processEvents();
            refreshes.push_back(MillisecondsSince(again));
        }
        std::printf(
            "  the records window opened: median %.1f ms, slowest %.1f ms; refreshed: "
            "median %.1f ms (7 runs)\n",
            Percentile(opens, 0.5), Percentile(opens, 1.0), Percentile(refreshes, 0.5));

        // The first check of a new day prunes what is past keeping.
        app::PresenceCheck one;
        one.Names.emplace_back(Nick(0), true);
        app::FetchOutcome ok;
        keeper.Record(SiteUrl(0), "Room", ok, now + app::MillisecondsPerDay, &one);
        std::printf("  the first check of a new day, with its pruning: %.2f ms\n",
                    static_cast<double>(keeper.SlowestWriteMicroseconds()) / 1000);
        keeper.Close(now + app::MillisecondsPerDay);
    }

    // 4. perchly --seen on that year (the program's start included).
    std::string ini = "[TargetObj]\r\n";
    for (int n = 0; n < Names; ++n)
        ini += "Name" + std::to_string(n) + "=" + Nick(n) + "\r\nName" + std::to_string(n) +
               "ch=1\r\n";
    std::filesystem::copy_file(PERCHLY_PROGRAM, year.File("perchly"));
    testsupport::WriteFile(year.File("Message.ini"), "one\r\n");
    testsupport::WriteFile(year.File("perchly.ini"), ini);
    for (const bool json : {false, true}) {
        std::vector<double> times;
        for (int run = 0; run < 11; ++run) {
            const double took =
                RunProgram(year.File("perchly"), json ? std::vector<std::string>{"--seen", "--json"}
                                                      : std::vector<std::string>{"--seen"});
            if (took < 0) {
                std::printf("  perchly --seen failed\n");
                return 1;
            }
            times.push_back(took);
        }
        std::printf("  perchly %-14s median %6.1f ms, slowest %6.1f ms (11 runs)\n",
                    json ? "--seen --json" : "--seen", Percentile(times, 0.5),
                    Percentile(times, 1.0));
    }
    return 0;
}
