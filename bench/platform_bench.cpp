// Costs of the Windows stand-in calls on the library's hot paths: the semaphore
// hand-off between caller and read thread, one overlapped piece read with its
// alertable wait, and a registry value read (the hive is re-read every time).
#include "platform/orbis_platform.h"
#include "platform/src/io_object.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

void SemaphoreHandOff(benchmark::State& state) {
    HANDLE go = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    HANDLE back = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (WaitForSingleObject(go, INFINITE) == WAIT_OBJECT_0 && !stop)
            ReleaseSemaphore(back, 1, nullptr);
    });
    for (auto _ : state) {
        ReleaseSemaphore(go, 1, nullptr);
        WaitForSingleObject(back, INFINITE);
    }
    stop = true;
    ReleaseSemaphore(go, 1, nullptr);
    reader.join();
    CloseHandle(go);
    CloseHandle(back);
}
BENCHMARK(SemaphoreHandOff)->UseRealTime();

// Answers every read at once with a 32-byte piece.
class PieceDevice : public orbis::platform::IoObject {
  public:
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD*) override {
        *got = count < 32 ? count : 32;
        std::memset(buffer, 0xA5, *got);
        return true;
    }
    bool Write(const void*, DWORD count, DWORD* written, DWORD*) override {
        *written = count;
        return true;
    }
};

void WINAPI Done(DWORD, DWORD, LPOVERLAPPED) {}

void OverlappedPieceRead(benchmark::State& state) {
    orbis::platform::DeviceOverride usb;
    usb.name = "\\\\?\\usb#bench";
    usb.usb = true;
    usb.open = [](const std::string&, DWORD) { return std::make_shared<PieceDevice>(); };
    orbis::platform::RegisterDeviceOverride(usb);
    HANDLE pipe = CreateFileA("\\\\?\\usb#bench\\PIPE01", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    char buffer[32];
    for (auto _ : state) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        OVERLAPPED ov{};
        ov.hEvent = event;
        ReadFileEx(pipe, buffer, sizeof buffer, &ov, Done);
        WaitForSingleObjectEx(event, INFINITE, TRUE);
        DWORD got = 0;
        GetOverlappedResult(pipe, &ov, &got, TRUE);
        benchmark::DoNotOptimize(got);
        CloseHandle(event);
    }
    CloseHandle(pipe);
    orbis::platform::ClearDeviceOverrides();
}
BENCHMARK(OverlappedPieceRead)->UseRealTime();

void RegistryValueRead(benchmark::State& state) {
    std::string root = std::filesystem::temp_directory_path() / "orbis-platform-bench";
    std::filesystem::remove_all(root);
    setenv("ORBIS_ROOT", root.c_str(), 1);
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VANTREL\\VANDVC", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    // A hive of realistic size: the spooler's printers and a few hundred values.
    for (int i = 0; i < static_cast<int>(state.range(0)); ++i) {
        std::string name = "Value" + std::to_string(i);
        DWORD v = i;
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    }
    for (auto _ : state) {
        DWORD level = 0, size = 4;
        LONG rc = RegQueryValueExA(key, "Value0", nullptr, nullptr, reinterpret_cast<BYTE*>(&level), &size);
        if (rc != ERROR_SUCCESS) {
            state.SkipWithError(("RegQueryValueExA failed: " + std::to_string(rc)).c_str());
            break;
        }
        benchmark::DoNotOptimize(level);
    }
    RegCloseKey(key);
    std::filesystem::remove_all(root);
}
BENCHMARK(RegistryValueRead)->Arg(10)->Arg(500);

} // namespace

BENCHMARK_MAIN();
