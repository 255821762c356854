// Time and CPU cost of one request-reply transaction on LPT1 against a
// simulated printer process. The floor of a transaction is the read thread's
// 385 ms pause plus the printer's configured reply delay; the figures printed
// are the ratio of the measured time to that floor and the process CPU time
// per transaction (read thread included).
#include "tests/sim/sim_process.h"

#include "dvc_internal.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// A query of 40 settings, about the size the settings layer sends.
std::vector<unsigned char> Query() {
    std::vector<unsigned char> command = {0xA5, 0x00, 0x00, 0x50, 0xE0, 0xE7, 0x20, 40};
    for (int i = 0; i < 40; ++i) {
        command.push_back(0x01);
        command.push_back(static_cast<unsigned char>(0x01 + i % 3));
    }
    command[2] = static_cast<unsigned char>(command.size() - 3);
    return command;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct Figures {
    int delayMs;
    double ratio;
    double cpuMs;
};
std::vector<Figures> g_figures;

void BM_ParTransaction(benchmark::State& state) {
    const int delay = static_cast<int>(state.range(0));
    orbis::test::TempRoot root;
    setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    orbis::test::SimProcess sim(root.Path(),
                                {"--lpt", "1", "--verbose", "0", "--delay", std::to_string(delay)});
    if (!sim.Ready() || DvcOpenPort("LPT1") != DVC_OK) {
        state.SkipWithError("no simulated printer on LPT1");
        return;
    }
    const auto query = Query();
    unsigned char reply[2048];
    double wall = 0, cpu = 0;
    int64_t done = 0;
    for (auto _ : state) {
        uint32_t length = sizeof reply;
        auto start = std::chrono::steady_clock::now();
        double cpuStart = CpuSeconds();
        int rc = DvcSendCommand("LPT1", query.data(), static_cast<uint16_t>(query.size()), reply, &length);
        cpu += CpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (rc != DVC_OK) {
            state.SkipWithError("transaction failed");
            break;
        }
        ++done;
    }
    DvcClosePort("LPT1");
    DvcShutdown();
    G_bInitialized = false;
    if (done == 0) return;
    double floorSeconds = (385 + delay) / 1000.0;
    double ratio = wall / done / floorSeconds;
    double cpuMs = cpu / done * 1000;
    state.counters["ratio_to_floor"] = ratio;
    state.counters["cpu_ms_per_tx"] = cpuMs;
    g_figures.push_back({delay, ratio, cpuMs});
}

BENCHMARK(BM_ParTransaction)->Arg(0)->Arg(100)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("ORBIS_BIN_DIR")) {
        auto dir = std::filesystem::canonical("/proc/self/exe").parent_path().string();
        setenv("ORBIS_BIN_DIR", dir.c_str(), 1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nparallel transaction (target: ratio <= 1.05, CPU <= 2 ms)\n");
    for (const auto& f : g_figures)
        std::printf("  printer delay %4d ms: time / (385 ms + delay) = %.3f, CPU per transaction = %.3f ms\n",
                    f.delayMs, f.ratio, f.cpuMs);
    return 0;
}
