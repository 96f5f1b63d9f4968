// Load and save of a full settings file (100 targets, 100 sites), and how many
// times each touches the file: one read per load, one replacement per save.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/watch/Settings.h"
#include "rtl/ProfileFile.h"

namespace {

std::string BenchFile() {
    static const std::string path = [] {
        char folder[] = "/tmp/perchly-bench-XXXXXX";
        if (!::mkdtemp(folder))
            std::abort();
        return app::SettingsFileName(std::string(folder) + "/");
    }();
    return path;
}

app::WatchState FullState() {
    app::WatchState state;
    state.IntervalSeconds = 15;
    for (size_t n = 0; n < state.Targets.size(); ++n)
        state.Targets[n] = {"target" + std::to_string(n), static_cast<int32_t>(n % 2)};
    for (size_t n = 0; n < state.Sites.size(); ++n)
        state.Sites[n] = {"room" + std::to_string(n),
                          "http://127.0.0.1:8080/rooms/" + std::to_string(n) + "/who.html", 1};
    return state;
}

void BM_LoadFullFile(benchmark::State& bench) {
    app::SaveWatchLists(BenchFile(), FullState());
    const auto before = rtl::ProfileFileIo();
    app::WatchState state;
    for (auto _ : bench)
        benchmark::DoNotOptimize(app::LoadSettings(BenchFile(), state));
    const auto after = rtl::ProfileFileIo();
    bench.counters["reads_per_load"] =
        static_cast<double>(after.Reads - before.Reads) / static_cast<double>(bench.iterations());
}
BENCHMARK(BM_LoadFullFile);

void BM_SaveFullFile(benchmark::State& bench) {
    const app::WatchState state = FullState();
    app::SaveWatchLists(BenchFile(), state);
    const auto before = rtl::ProfileFileIo();
    for (auto _ : bench)
        app::SaveWatchLists(BenchFile(), state);
    const auto after = rtl::ProfileFileIo();
    const auto n = static_cast<double>(bench.iterations());
    bench.counters["reads_per_save"] = static_cast<double>(after.Reads - before.Reads) / n;
    bench.counters["replaces_per_save"] = static_cast<double>(after.Replaces - before.Replaces) / n;
}
BENCHMARK(BM_SaveFullFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // One load and one save alone, so strace can count their system calls.
    if (argc == 2 && std::string(argv[1]) == "--once") {
        app::SaveWatchLists(BenchFile(), FullState());
        app::WatchState state;
        std::fprintf(stderr, "-- load\n");
        app::LoadSettings(BenchFile(), state);
        std::fprintf(stderr, "-- save\n");
        app::SaveWatchLists(BenchFile(), state);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
