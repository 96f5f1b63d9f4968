// One whole watch cycle (fetch, test panel, stripping, 100 targets matched,
// alerts answered by the fake desktop) against the fetch of the same 1 MiB page
// alone, both from the same nginx in the same run.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "net/NMHttp.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/TestSupport.h"

namespace {
using Clock = std::chrono::steady_clock;

std::string Nick(int i) {
    return "nick" + std::to_string(1000 + i);
}

// About 1 MiB of table rows; the first ten of the hundred targets are on it.
std::string MakePage() {
    std::string page = "<html><body><table>\n";
    int row = 0;
    while (page.size() < (size_t{1} << 20)) {
        const std::string name = row < 10 ? Nick(row) : "guest" + std::to_string(row);
        page += "<tr><td><a href=\"u?id=" + std::to_string(row) + "\">" + name +
                "</a></td><td>20:" + std::to_string(row % 60) + "</td></tr>\n";
        ++row;
    }
    return page + "</table></body></html>\n";
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);

    testsupport::NginxFixture nginx;
    const std::string page = MakePage();
    nginx.AddFile("who.html", page);
    nginx.Start();
    const std::string url = nginx.Url("/who.html");

    testsupport::TempFolder folder;
    testsupport::WriteFile(folder.File("Message.ini"), " is here\r\n");
    std::string ini = "[TargetObj]\r\n";
    for (int i = 0; i < 100; ++i)
        ini += "Name" + std::to_string(i) + "=" + Nick(i) + "\r\nName" + std::to_string(i) +
               "ch=1\r\n";
    ini += "[TargetSite]\r\nSite0=Bench\r\nSite0Url=" + url +
           "\r\nSite0ch=1\r\n[Setting]\r\nSecond=60\r\nAutoUp=0\r\nSound=0\r\n";
    testsupport::WriteFile(folder.File("perchly.ini"), ini);

    testsupport::FakeDesktopServices desktop;
    app::WatchState state;
    app::TForm1 form(state, desktop, folder.Path());
    net::TNMHTTP fetcher;
    fetcher.MaxBodyLength = form.MaxPageLength;

    const int runs = 15;
    std::vector<double> cycles, fetches;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        fetcher.Port = 80;
        fetcher.Get(url);
        fetches.push_back(std::chrono::duration<double>(Clock::now() - start).count());

        const size_t boxesBefore = desktop.MessageBoxes.size();
        start = Clock::now();
        form.Timer1Timer();
        cycles.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (desktop.MessageBoxes.size() - boxesBefore != 10) {
            std::fprintf(stderr, "expected 10 alerts per cycle, got %zu (status: %s)\n",
                         desktop.MessageBoxes.size() - boxesBefore, form.StatusText(1).c_str());
            return 1;
        }
    }
    const double cycle = Median(cycles), fetch = Median(fetches);
    std::printf("page: %zu bytes, 100 selected targets, 10 found per cycle, %d runs\n",
                fetcher.Body.size(), runs);
    std::printf("fetch alone (median):       %8.2f ms\n", fetch * 1000);
    std::printf("whole cycle (median):       %8.2f ms\n", cycle * 1000);
    std::printf("ratio cycle / fetch:        %8.2f\n", cycle / fetch);
    return 0;
}
