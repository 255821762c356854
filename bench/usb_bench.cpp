// USB figures: the CPU cost of reassembling a reply from 32-byte pieces (per
// KiB of reply, pieces from memory and over an in-process read pipe), and a
// full settings query on USB001 of a simulated printer process, end to end.
#include "tests/sim/sim_process.h"

#include "firmware.h"
#include "orbis_platform.h"
#include "platform/standin/io_object.h"
#include "usb_internal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <deque>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A reply of `bytes` bytes: packets of at most `perPacket` data bytes, chained.
Bytes Reply(size_t bytes, size_t perPacket) {
    Bytes stream;
    size_t data = bytes - 5;
    for (size_t done = 0; done < data;) {
        size_t n = std::min(perPacket, data - done);
        bool last = done + n == data;
        size_t length = n + 2;
        Bytes packet = {0xA5, uint8_t(length >> 8), uint8_t(length), uint8_t(last ? 0x10 : 0x30), 0xE0};
        // No 0xA5 in the data: a piece starting with it would read as a packet start.
        for (size_t i = 0; i < n; ++i)
            packet.push_back(uint8_t(1 + (done + i) % 150));
        stream.insert(stream.end(), packet.begin(), packet.end());
        done += n;
    }
    return stream;
}

// The last run of each benchmark, by name.
std::map<std::string, double> g_reassembly;
// The first query of the process reads away what the printer may hold from
// before (docs/usb.md); the later ones are what a repeated query costs.
double g_firstMs = 0, g_firstCpuMs = 0, g_queryMs = 0, g_queryCpuMs = 0, g_queryMeanMs = 0,
       g_queryMeanCpuMs = 0;
// How often the process's threads gave up the CPU per repeated query: each sleep
// and wake-up costs more CPU than most of the work.
double g_switches = 0;

double ContextSwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_nvcsw + usage.ru_nivcsw);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Pieces from memory: the reassembly alone.
void BM_ReassemblyFromMemory(benchmark::State& state) {
    const size_t size = size_t(state.range(0));
    const Bytes stream = Reply(size, size_t(state.range(1)));
    std::vector<unsigned char> hold(USB_HOLD_SIZE), reply(USB_ASSEMBLY_SIZE);
    uint32_t holdLength = 0;
    size_t at = 0;
    UsbPieceReader read = [&](unsigned char* destination, DWORD* got, DWORD count, bool* dead) {
        *dead = at == stream.size();
        *got = DWORD(std::min<size_t>(count, stream.size() - at));
        std::memcpy(destination, stream.data() + at, *got);
        at += *got;
    };
    double cpu = 0;
    for (auto _ : state) {
        at = 0;
        uint32_t length = USB_ASSEMBLY_SIZE;
        double start = ThreadCpuSeconds();
        UsbReassemble(read, reply.data(), &length, hold.data(), &holdLength, USB_READ_PIECE);
        cpu += ThreadCpuSeconds() - start;
        if (length != size) state.SkipWithError("wrong reply");
    }
    double usPerKiB = cpu / double(state.iterations()) * 1e6 / (double(size) / 1024);
    state.counters["us_per_KiB"] = usPerKiB;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    g_reassembly["memory, " + std::to_string(size) + " bytes, packets of " + std::to_string(state.range(1))] =
        usPerKiB;
}
BENCHMARK(BM_ReassemblyFromMemory)
    ->Args({1024, 2043})
    ->Args({2048, 2043})
    ->Args({2048, 100})
    ->Args({60000, 65000});

// An in-process read pipe that hands out the same reply again and again.
class ReplayPipe : public orbis::platform::IoObject {
  public:
    ReplayPipe(const Bytes* stream, bool startsReads) : stream_(stream), startsReads_(startsReads) {}
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD*) override {
        *got = DWORD(std::min<size_t>(count, stream_->size() - at_));
        std::memcpy(buffer, stream_->data() + at_, *got);
        at_ += *got;
        if (at_ == stream_->size()) at_ = 0;
        return true;
    }
    // The data is always at hand, so a started read ends before StartRead returns,
    // as a driver completes a request it can serve at once.
    // Without it the pipe is a driver with only a blocking read (the handle's worker thread reads).
    bool StartRead(const std::shared_ptr<orbis::platform::ReadRequest>& request) override {
        if (!startsReads_) return false;
        DWORD got = DWORD(std::min<size_t>(request->Count(), stream_->size() - at_));
        request->Deliver(ERROR_SUCCESS, stream_->data() + at_, got);
        at_ += got;
        if (at_ == stream_->size()) at_ = 0;
        return true;
    }
    bool Write(const void*, DWORD, DWORD*, DWORD* error) override {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }

  private:
    const Bytes* stream_;
    const bool startsReads_;
    size_t at_ = 0;
};

// Pieces over a read pipe: ReadPkt's overlapped read, completion routine and wait included.
void BM_ReassemblyOverPipe(benchmark::State& state) {
    static Bytes stream;
    const size_t size = size_t(state.range(0));
    stream = Reply(size, 2043);
    orbis::platform::DeviceOverride device;
    device.name = "\\\\?\\usb#vid_0a5f&pid_0042#BENCH#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    device.usb = true;
    const bool startsReads = state.range(1) != 0;
    device.open = [startsReads](const std::string&, DWORD) {
        return std::make_shared<ReplayPipe>(&stream, startsReads);
    };
    orbis::platform::RegisterDeviceOverride(device);
    HANDLE pipe = OpenUsbHandle(device.name.c_str(), "PIPE01");
    std::vector<unsigned char> hold(USB_HOLD_SIZE), reply(USB_ASSEMBLY_SIZE);
    uint32_t holdLength = 0;
    double cpu = 0;
    for (auto _ : state) {
        uint32_t length = USB_ASSEMBLY_SIZE;
        double start = ProcessCpuSeconds();
        UsbReadResponse(&pipe, reply.data(), &length, hold.data(), &holdLength, USB_READ_PIECE);
        cpu += ProcessCpuSeconds() - start;
        if (length != size) state.SkipWithError("wrong reply");
    }
    UsbCloseReadPipe(&pipe);
    orbis::platform::ClearDeviceOverrides();
    double usPerKiB = cpu / double(state.iterations()) * 1e6 / (double(size) / 1024);
    state.counters["us_per_KiB"] = usPerKiB;
    g_reassembly["read pipe, " + std::to_string(size) + " bytes (process CPU)" +
                 (startsReads ? "" : ", blocking-only pipe")] = usPerKiB;
}
BENCHMARK(BM_ReassemblyOverPipe)->Args({2048, 1})->Args({2048, 0})->UseRealTime();

// The batched query of every setting the simulated printer knows.
Bytes FullQuery() {
    Bytes data = {0xE7, 0x20, uint8_t(orbis::sim::FirmwareTable().size())};
    for (const auto& setting : orbis::sim::FirmwareTable()) {
        data.push_back(uint8_t(setting.id >> 8));
        data.push_back(uint8_t(setting.id & 0xFF));
    }
    size_t length = data.size() + 2;
    Bytes command = {0xA5, uint8_t(length >> 8), uint8_t(length), 0x50, 0xE0};
    command.insert(command.end(), data.begin(), data.end());
    return command;
}

void BM_UsbQuery(benchmark::State& state) {
    orbis::test::TempRoot root;
    setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    orbis::test::SimProcess sim(root.Path(), {"--usb", "1", "--verbose", "0"});
    if (!sim.Ready()) {
        state.SkipWithError("no simulated printer on USB001");
        return;
    }
    const Bytes query = FullQuery();
    unsigned char reply[DVC_RESPONSE_SLOT];
    std::vector<double> walls, cpus;
    double switchesAfterFirst = 0;
    for (auto _ : state) {
        if (walls.size() == 1) switchesAfterFirst = ContextSwitches();
        // Open, query, close: the whole road of a settings query.
        auto start = std::chrono::steady_clock::now();
        double cpuStart = ProcessCpuSeconds();
        uint32_t length = sizeof reply;
        int rc = DvcOpenPort("USB001");
        if (rc == DVC_OK) rc = DvcSendCommand("USB001", query.data(), uint16_t(query.size()), reply, &length);
        DvcClosePort("USB001");
        cpus.push_back((ProcessCpuSeconds() - cpuStart) * 1000);
        walls.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() *
                        1000);
        if (rc != DVC_OK) {
            state.SkipWithError("USB query failed");
            break;
        }
    }
    const double switchesAtEnd = ContextSwitches();
    DvcShutdown();
    G_bInitialized = false;
    if (walls.size() < 2) return;
    g_switches = (switchesAtEnd - switchesAfterFirst) / double(walls.size() - 1);
    g_firstMs = walls[0];
    g_firstCpuMs = cpus[0];
    walls.erase(walls.begin());
    cpus.erase(cpus.begin());
    g_queryMs = Median(walls);
    g_queryCpuMs = Median(cpus);
    for (size_t i = 0; i < walls.size(); ++i) {
        g_queryMeanMs += walls[i] / double(walls.size());
        g_queryMeanCpuMs += cpus[i] / double(walls.size());
    }
    state.counters["ms_per_query"] = g_queryMs;
    state.counters["cpu_ms_per_query"] = g_queryCpuMs;
}
// ORBIS_BENCH_QUERIES sets a longer run, for a profiler.
BENCHMARK(BM_UsbQuery)
    ->Iterations(std::getenv("ORBIS_BENCH_QUERIES") ? std::atoi(std::getenv("ORBIS_BENCH_QUERIES")) : 30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

long Threads() {
    auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return long(std::distance(begin(tasks), end(tasks)));
}

void WINAPI Ignored(DWORD, DWORD, LPOVERLAPPED) {}

// Threads of the process with 1 and with 16 overlapped reads waiting on USB001's
// read pipes (the printer has nothing to say, so they stay in flight).
std::map<int, long> g_threads;
void BM_ReadsInFlight(benchmark::State& state) {
    orbis::test::TempRoot root;
    setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    orbis::test::SimProcess sim(root.Path(), {"--usb", "1", "--verbose", "0"});
    if (!sim.Ready()) {
        state.SkipWithError("no simulated printer on USB001");
        return;
    }
    const std::string path = "\\\\?\\usb#vid_1a2b&pid_0c1d#O2200U001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    // The host thread of a read thread that ended in the query benchmark waits 200 ms
    // for another start; counted here, it would pass for a thread of the reads.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (auto _ : state) {
        const int reads = int(state.range(0));
        std::vector<HANDLE> pipes;
        std::vector<OVERLAPPED> ovs(reads);
        std::vector<std::array<char, 32>> buffers(reads);
        for (int i = 0; i < reads; ++i) {
            pipes.push_back(OpenUsbHandle(path.c_str(), "PIPE01"));
            ReadFileEx(pipes.back(), buffers[i].data(), 32, &ovs[i], Ignored);
        }
        g_threads[reads] = Threads();
        for (HANDLE pipe : pipes)
            CloseHandle(pipe);
        while (SleepEx(0, TRUE) == WAIT_IO_COMPLETION) {
        }
    }
    state.counters["threads"] = double(g_threads[int(state.range(0))]);
}
BENCHMARK(BM_ReadsInFlight)->Arg(1)->Arg(16)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("ORBIS_BIN_DIR")) {
        auto dir = std::filesystem::canonical("/proc/self/exe").parent_path().string();
        setenv("ORBIS_BIN_DIR", dir.c_str(), 1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nUSB reassembly, 32-byte pieces (target: <= 20 us per KiB)\n");
    for (const auto& [name, usPerKiB] : g_reassembly)
        std::printf("  %-45s %8.2f us/KiB\n", name.c_str(), usPerKiB);
    std::printf("USB query on USB001, open + full query + close (target: <= 2 ms, <= 1 ms CPU)\n");
    std::printf("  first of the process: %.2f ms, %.2f ms CPU\n", g_firstMs, g_firstCpuMs);
    std::printf("  the others: median %.2f ms, %.2f ms CPU; mean %.2f ms, %.2f ms CPU\n", g_queryMs,
                g_queryCpuMs, g_queryMeanMs, g_queryMeanCpuMs);
    std::printf("  context switches per query of the others: %.1f\n", g_switches);
    std::printf("Threads of the process with overlapped reads in flight (target: not growing)\n");
    for (const auto& [reads, threads] : g_threads)
        std::printf("  %2d reads in flight: %ld threads\n", reads, threads);
    return 0;
}
