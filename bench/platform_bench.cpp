// Costs of the Windows stand-in calls on the library's hot paths: the semaphore
// hand-off between caller and read thread, one overlapped piece read with its
// alertable wait, a registry value read (the hive is re-read every time), and
// the refresh of host printers' registry entries that precedes discovery.
#include "platform/orbis_platform.h"
#include "platform/standin/io_object.h"

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

// Writes a sysfs entry and a node for one kernel USB printer, as usblp shows it.
void FakeKernelPrinter(const std::filesystem::path& root, int n) {
    auto usbDevice = root / "sys/devices/usb1" / ("1-" + std::to_string(n + 1));
    auto interface = usbDevice / ("1-" + std::to_string(n + 1) + ":1.0");
    std::filesystem::create_directories(interface);
    auto put = [](const std::filesystem::path& file, const std::string& text) {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fputs(text.c_str(), f);
        std::fclose(f);
    };
    put(usbDevice / "idVendor", "1a2b\n");
    put(usbDevice / "idProduct", "0c1d\n");
    put(usbDevice / "serial", "BENCH" + std::to_string(n) + "\n");
    put(usbDevice / "busnum", "1\n");
    put(usbDevice / "devpath", std::to_string(n + 1) + "\n");
    put(interface / "ieee1284_id", "MFG:Vantrel;MDL:Orbis LP 2200;CMD:PCL,VNPAP;\n");
    auto entry = root / "sys/class/usbmisc" / ("lp" + std::to_string(n));
    std::filesystem::create_directories(entry);
    std::filesystem::create_directory_symlink(interface, entry / "device");
    std::filesystem::create_directories(root / "dev/usb");
    put(root / "dev/usb" / ("lp" + std::to_string(n)), "");
}

// One refresh of the host printers' registry entries: a sysfs scan of N kernel
// USB printers and a CUPS server that is not there (the usual machine without CUPS).
void HostRefresh(benchmark::State& state) {
    std::filesystem::path root = std::filesystem::temp_directory_path() / "orbis-host-bench";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    setenv("ORBIS_ROOT", root.c_str(), 1);
    setenv("ORBIS_SOURCES", "kernel,cups", 1);
    for (int i = 0; i < static_cast<int>(state.range(0)); ++i)
        FakeKernelPrinter(root, i);
    std::FILE* f = std::fopen((root / "sources.ini").c_str(), "w");
    std::fprintf(f, "[Kernel]\nSysfs=%s/sys\nDev=%s/dev\n[Cups]\nServer=%s/no-cups.sock\n", root.c_str(),
                 root.c_str(), root.c_str());
    std::fclose(f);
    for (auto _ : state)
        orbis::platform::RefreshHostEntriesForTesting();
    unsetenv("ORBIS_SOURCES");
    std::filesystem::remove_all(root);
}
BENCHMARK(HostRefresh)->Arg(0)->Arg(4)->UseRealTime();

// A name of eight Hangul syllables (16 bytes of code page 949) to UTF-16 and back, as a page
// does when it fills a name edit and stores a keystroke.
void CodePageRoundTrip(benchmark::State& state) {
    const char name[] = "\xBB\xE7\xBF\xEB\xC0\xDA\xC0\xCC\xB8\xA7\xBF\xA9\xB4\xFC\xC0\xDA";
    WCHAR wide[16];
    char back[16];
    for (auto _ : state) {
        int n = MultiByteToWideChar(CP_ACP, 0, name, 16, wide, 16);
        BOOL used = FALSE;
        benchmark::DoNotOptimize(WideCharToMultiByte(CP_ACP, 0, wide, n, back, 16, nullptr, &used));
    }
}
BENCHMARK(CodePageRoundTrip);

} // namespace

BENCHMARK_MAIN();
