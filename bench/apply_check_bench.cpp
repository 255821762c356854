// What the checked apply adds to a plain write of every setting on LPT1 against
// a simulated printer process: the read-back check (one query) and the backup
// before the write (one query and a profile written into the root). Run once with
// a printer whose device ID carries only the family marker (the PJL inquiry is
// asked at every open) and once with one that lists the NPA markers.
#include "tests/sim/sim_process.h"

#include "backup_store.h"
#include "catalogue_location.h"
#include "dvc.h"
#include "dvc_internal.h"
#include "npa_exchange.h"
#include "readback.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_CheckedApply(benchmark::State& state) {
    const bool npaMarkers = state.range(0) != 0;
    orbis::test::TempRoot root;
    setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    std::vector<std::string> args = {"--lpt", "1", "--verbose", "0"};
    if (npaMarkers) args.insert(args.end(), {"--marker", "VNPAP"});
    orbis::test::SimProcess sim(root.Path(), args);
    LocateCatalogue();
    StringMap values;
    if (!sim.Ready() || QueryPrinterSettings("LPT1", values) != 0) {
        state.SkipWithError("no simulated printer on LPT1");
        DvcShutdown();
        G_bInitialized = false;
        return;
    }
    std::vector<std::string> items;
    for (const auto& [name, value] : values)
        if (!name.empty()) items.push_back(name + ":" + value);
    BackupStore store(root.Path() + "/backups");
    double write = 0, check = 0, backup = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::string error;
        if (BackupBeforeWrite(store, "LPT1", error) != 0) state.SkipWithError("backup failed");
        backup += Since(start);
        start = std::chrono::steady_clock::now();
        if (WritePrinterSettings("LPT1", items) != 0) state.SkipWithError("write failed");
        write += Since(start);
        start = std::chrono::steady_clock::now();
        std::vector<SettingNotTaken> notTaken;
        StringMap held;
        if (ReadBackCheck("LPT1", items, notTaken, held) != 0 || !notTaken.empty())
            state.SkipWithError("check failed");
        check += Since(start);
        ++rounds;
    }
    DvcShutdown();
    G_bInitialized = false; // the next run starts the library again
    if (rounds == 0) return;
    state.counters["write_ms"] = write / rounds;
    state.counters["check_ms"] = check / rounds;
    state.counters["backup_ms"] = backup / rounds;
    std::printf("%s: write of %zu settings %.0f ms, read-back check %.0f ms, backup %.0f ms\n",
                npaMarkers ? "NPA markers" : "family marker only", items.size(), write / rounds,
                check / rounds, backup / rounds);
}

BENCHMARK(BM_CheckedApply)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
