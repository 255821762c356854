// What a kernel USB printer costs the library: finding the printers in sysfs
// (every pipe open does it), the registry refresh when nothing changed, a
// pipe open and close, and a command written to the node. The nodes are ptys
// and sysfs is a fake tree laid out as the kernel lays it out.
#include "platform/orbis_platform.h"
#include "platform/standin/hive.h"
#include "platform/host/host_devices.h"
#include "platform/host/host_ioctl.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace orbis::platform;

namespace {

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) || ::unlockpt(master)) throw std::runtime_error("no pty");
        path = ::ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    ~Pty() {
        ::close(slave);
        ::close(master);
    }
};

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

// A root with `count` printers lp0.. under its own sysfs and /dev, the kernel source alone.
class World {
  public:
    explicit World(int count) {
        char pattern[] = "/tmp/orbis-kusb-bench-XXXXXX";
        root_ = ::mkdtemp(pattern);
        setenv("ORBIS_ROOT", root_.c_str(), 1);
        setenv("ORBIS_SOURCES", "kernel", 1);
        Write(root_ + "/sources.ini", "[Kernel]\nSysfs=" + root_ + "/sys\nDev=" + root_ + "/dev");
        for (int i = 0; i < count; ++i) {
            std::string n = std::to_string(i), device = root_ + "/sys/devices/usb1/1-" + n;
            std::string interface = device + "/1-" + n + ":1.0", lp = "lp" + n;
            Write(device + "/idVendor", "0a5f");
            Write(device + "/idProduct", "0042");
            Write(device + "/serial", "SER" + n);
            Write(interface + "/ieee1284_id", "MFG:Vantrel;MDL:Orbis LP 2200;CMD:PCL,VNPAP;");
            fs::create_directories(interface + "/usbmisc/" + lp);
            fs::create_symlink("../../../1-" + n + ":1.0", interface + "/usbmisc/" + lp + "/device");
            fs::create_directories(root_ + "/sys/class/usbmisc");
            fs::create_symlink(interface + "/usbmisc/" + lp, root_ + "/sys/class/usbmisc/" + lp);
            ptys_.push_back(std::make_unique<Pty>());
            fs::create_directories(root_ + "/dev/usb");
            fs::create_symlink(ptys_.back()->path, root_ + "/dev/usb/" + lp);
        }
    }
    ~World() { fs::remove_all(root_); }
    Pty& Node(int i) { return *ptys_[i]; }

  private:
    std::string root_;
    std::vector<std::unique_ptr<Pty>> ptys_;
};

void BM_Scan(benchmark::State& state) {
    World world((int)state.range(0));
    HostSources sources = CurrentHostSources();
    for (auto _ : state)
        benchmark::DoNotOptimize(ScanKernelUsbPrinters(sources));
}
BENCHMARK(BM_Scan)->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

void BM_ApplyUnchanged(benchmark::State& state) {
    World world((int)state.range(0));
    auto printers = ScanKernelUsbPrinters(CurrentHostSources());
    Hive hive;
    bool changed = false;
    ApplyKernelUsbPrinters(hive, printers, &changed);
    for (auto _ : state) {
        changed = false;
        ApplyKernelUsbPrinters(hive, printers, &changed);
        if (changed) state.SkipWithError("an unchanged set of printers changed the hive");
    }
}
BENCHMARK(BM_ApplyUnchanged)->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

const std::string kPipe00 =
    "\\\\?\\usb#vid_0a5f&pid_0042#SER0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\PIPE00";

// The library opens the write pipe for every command.
void BM_OpenCloseWritePipe(benchmark::State& state) {
    World world(1);
    for (auto _ : state) {
        HANDLE h = CreateFileA(kPipe00.c_str(), GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) state.SkipWithError("the write pipe did not open");
        CloseHandle(h);
    }
}
BENCHMARK(BM_OpenCloseWritePipe)->Unit(benchmark::kMicrosecond);

// A 28-byte command (start packet and a short query) written and taken by the printer.
void BM_WriteCommand(benchmark::State& state) {
    World world(1);
    HANDLE h = CreateFileA(kPipe00.c_str(), GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    char command[28] = {}, taken[64];
    for (auto _ : state) {
        DWORD written = 0;
        WriteFile(h, command, sizeof command, &written, nullptr);
        size_t got = 0;
        while (got < sizeof command) {
            ssize_t n = ::read(world.Node(0).master, taken, sizeof taken);
            if (n > 0) got += (size_t)n;
        }
    }
    CloseHandle(h);
}
BENCHMARK(BM_WriteCommand)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
