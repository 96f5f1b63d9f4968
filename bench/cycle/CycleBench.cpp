// One whole watch cycle (fetch, charset, test panel, stripping, references,
// 100 targets matched, alerts answered by the fake desktop, the check recorded
// in perchly.db with who was on the page) against the fetch of the same 1 MiB
// page alone, for a GB2312 page and for the same page in UTF-8, all from the
// same nginx in the same run; and the GB2312 cycle with its recording against
// the same cycle recording the check without who was there, and against the
// cycle recording nothing. The rounds interleave the measurements, and each
// ratio is taken within one round.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/gui/Unit1.h"
#include "bench/net/SideBySide.h"
#include "net/NMHttp.h"
#include "rtl/GbText.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TestSupport.h"

namespace {
using Clock = std::chrono::steady_clock;

// Chinese nicknames (UTF-8 source text); the first ten of the hundred targets
// are on the page.
std::string Nick(int i) {
    static const char* const Family[] = {"小", "王", "李", "张", "陈",
                                         "林", "燕", "星", "月", "云"};
    return std::string(Family[i % 10]) + "燕子" + std::to_string(1000 + i);
}

// About 1 MiB of table rows in UTF-8: names, a room text and a time each.
std::string MakePage() {
    std::string page = "<html><head><title>聊天室</title></head><body><table>\n";
    int row = 0;
    while (page.size() < (size_t{1} << 20)) {
        const std::string name = row < 10 ? Nick(row) : "游客" + std::to_string(row);
        page += "<tr><td><a href=\"u?id=" + std::to_string(row) + "\">" + name +
                "</a></td><td>在线 20:" + std::to_string(row % 60) + "</td></tr>\n";
        ++row;
    }
    return page + "</table></body></html>\n";
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Variant {
    const char* Name;
    std::string Url;
    std::unique_ptr<testsupport::TempFolder> Folder;
    std::unique_ptr<app::TForm1> Form;
    std::vector<double> Fetches, Cycles, Ratios;
    size_t Bytes = 0;
};
}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);

    testsupport::NginxFixture nginx;
    const std::string utf8 = MakePage();
    nginx.AddFile("gb/who.html", rtl::Gb(utf8));
    nginx.AddFile("utf8/who.html", utf8);
    nginx.AddLocation("/gb/", "charset gb2312;");
    nginx.AddLocation("/utf8/", "charset utf-8;");
    nginx.Start();

    testsupport::FakeDesktopServices desktop;
    app::WatchState gbState, utf8State;
    Variant variants[] = {{"GB2312", nginx.Url("/gb/who.html"), {}, {}, {}, {}, {}, 0},
                          {"UTF-8", nginx.Url("/utf8/who.html"), {}, {}, {}, {}, {}, 0}};
    app::WatchState* states[] = {&gbState, &utf8State};
    for (int v = 0; v < 2; ++v) {
        Variant& variant = variants[v];
        variant.Folder = std::make_unique<testsupport::TempFolder>();
        testsupport::TempFolder& folder = *variant.Folder;
        testsupport::WriteFile(folder.File("Message.ini"), " is here\r\n");
        std::string ini = "[TargetObj]\r\n";
        for (int i = 0; i < 100; ++i)
            ini += "Name" + std::to_string(i) + "=" + rtl::Gb(Nick(i)) + "\r\nName" +
                   std::to_string(i) + "ch=1\r\n";
        ini += "[TargetSite]\r\nSite0=Bench\r\nSite0Url=" + variant.Url +
               "\r\nSite0ch=1\r\n[Setting]\r\nSecond=60\r\nAutoUp=0\r\nSound=0\r\n";
        testsupport::WriteFile(folder.File("perchly.ini"), ini);
        variant.Form = std::make_unique<app::TForm1>(*states[v], desktop, folder.Path());
    }
    net::TNMHTTP fetcher;
    fetcher.MaxBodyLength = variants[0].Form->MaxPageLength;

    // The same GB2312 watch in windows of their own: one that records the
    // check but not who was there, one that records nothing.
    testsupport::TempFolder checksFolder, quietFolder;
    for (const testsupport::TempFolder* copy : {&checksFolder, &quietFolder})
        for (const char* file : {"Message.ini", "perchly.ini"})
            testsupport::WriteFile(copy->File(file),
                                   testsupport::ReadFile(variants[0].Folder->File(file)));
    app::WatchState checksState, quietState;
    app::TForm1 checksOnly(checksState, desktop, checksFolder.Path());
    checksOnly.RecordPresence = false;
    app::TForm1 quiet(quietState, desktop, quietFolder.Path());
    quiet.RecordChecks = false;
    std::vector<double> recorded, checked, unrecorded, recordingRatios, presenceRatios;
    const auto timedCycle = [&](app::TForm1& form) {
        const auto start = Clock::now();
        form.Timer1Timer();
        return Seconds(start);
    };

    const int rounds = 75;
    for (int round = 0; round < rounds; ++round) {
        // With and without recording, each first in turn, so a drift of the
        // machine weighs on all alike.
        app::TForm1* order[] = {variants[0].Form.get(), &checksOnly, &quiet};
        std::rotate(order, order + round % 3, order + 3);
        double with = 0;
        double checks = 0;
        double without = 0;
        for (app::TForm1* form : order) {
            const double took = timedCycle(*form);
            (form == &quiet ? without : form == &checksOnly ? checks : with) = took;
        }
        recorded.push_back(with);
        checked.push_back(checks);
        unrecorded.push_back(without);
        recordingRatios.push_back(with / without);
        presenceRatios.push_back(with / checks);

        for (Variant& variant : variants) {
            auto start = Clock::now();
            fetcher.Port = 80;
            fetcher.Get(variant.Url);
            const double fetch = Seconds(start);
            variant.Bytes = fetcher.Body.size();

            const size_t boxesBefore = desktop.MessageBoxes.size();
            start = Clock::now();
            variant.Form->Timer1Timer();
            const double cycle = Seconds(start);
            if (desktop.MessageBoxes.size() - boxesBefore != 10) {
                std::fprintf(stderr, "%s: expected 10 alerts per cycle, got %zu (status: %s)\n",
                             variant.Name, desktop.MessageBoxes.size() - boxesBefore,
                             variant.Form->StatusText(1).c_str());
                return 1;
            }
            variant.Fetches.push_back(fetch);
            variant.Cycles.push_back(cycle);
            variant.Ratios.push_back(cycle / fetch);
        }
    }
    if (desktop.MessageBoxes.size() != static_cast<size_t>(rounds) * 50) {
        std::fprintf(stderr, "expected 10 alerts per cycle, got %zu in all\n",
                     desktop.MessageBoxes.size());
        return 1;
    }
    std::printf("1 MiB page, 100 selected targets, 10 found per cycle, %d interleaved rounds\n",
                rounds);
    std::printf("%-8s %9s %14s %14s %22s\n", "page", "bytes", "fetch ms", "cycle ms",
                "cycle/fetch (range)");
    for (const Variant& variant : variants) {
        const bench::TSpread fetch = bench::Spread(variant.Fetches);
        const bench::TSpread cycle = bench::Spread(variant.Cycles);
        const bench::TSpread ratio = bench::Spread(variant.Ratios);
        std::printf("%-8s %9zu %14.2f %14.2f %8.2f (%.2f-%.2f)\n", variant.Name, variant.Bytes,
                    fetch.Median * 1000, cycle.Median * 1000, ratio.Median, ratio.Low, ratio.High);
    }
    const bench::TSpread with = bench::Spread(recorded);
    const bench::TSpread checks = bench::Spread(checked);
    const bench::TSpread without = bench::Spread(unrecorded);
    const bench::TSpread cost = bench::Spread(recordingRatios);
    const bench::TSpread presence = bench::Spread(presenceRatios);
    std::printf(
        "GB2312 cycle with its check and who was there recorded in perchly.db: %.2f ms, with the "
        "check only: %.2f ms, without recording: %.2f ms\n",
        with.Median * 1000, checks.Median * 1000, without.Median * 1000);
    std::printf(
        "with/without: median %.3f (range %.3f-%.3f); slowest write %.2f ms\n", cost.Median,
        cost.Low, cost.High,
        static_cast<double>(variants[0].Form->HealthKeeper().SlowestWriteMicroseconds()) / 1000);
    std::printf("with presence/check only: median %.3f (range %.3f-%.3f)\n", presence.Median,
                presence.Low, presence.High);
    return 0;
}
