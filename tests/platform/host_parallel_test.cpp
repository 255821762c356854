// The host's parallel ports behind "LPTn": a fake sysfs tree, ptys standing in
// for the ppdev and lp nodes, and an ioctl table that plays the printer's side
// of IEEE 1284 negotiation (it sends the device ID when asked for it). The claim
// is the node's flock: like PPCLAIM it sleeps while another open of the port,
// in any process, holds it, and only a signal ends the sleep.
#include "platform/host/host_devices.h"
#include "platform/host/host_ioctl.h"
#include "orbis_platform.h"
#include "support/pty_node.h"
#include "support/setupapi_listing.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using namespace orbis::platform;
using orbis::platformtest::PtyNode;
using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD kMax = 0xFFFFFFFFu;

// The printer's side of the ioctls, shared by the fake table's plain functions.
std::mutex g_callsMutex;
struct FakePrinter {
    std::vector<std::string> calls; // "claim", "release", "mode <n>"
    std::string idReply;            // sent on the node when the device ID is negotiated
    int master = -1;
    int rejectMode = -2; // negotiation to this mode fails with ENXIO
    int claimErrno = 0;
    std::vector<std::string> refused; // node names opened and checked with EACCES, as without the lp group
} g_printer;

void Log(const std::string& call) {
    std::lock_guard lock(g_callsMutex);
    g_printer.calls.push_back(call);
}
int Claim(int fd) {
    Log("claim");
    if (g_printer.claimErrno) return errno = g_printer.claimErrno, -1;
    return ::flock(fd, LOCK_EX);
}
int Release(int fd) {
    Log("release");
    return ::flock(fd, LOCK_UN);
}
int Negotiate(int, int mode) {
    Log("mode " + std::to_string(mode));
    if (mode == g_printer.rejectMode) return errno = ENXIO, -1;
    bool asksId = mode & kParModeDeviceId;
    if (asksId && ::write(g_printer.master, g_printer.idReply.data(), g_printer.idReply.size()) < 0)
        return -1;
    return 0;
}
bool Refused(const char* path) {
    const auto& r = g_printer.refused;
    return std::find(r.begin(), r.end(), std::filesystem::path(path).filename()) != r.end();
}
const HostIoctls kFake = {
    [](int, void*, size_t) { return errno = ENOTTY, -1; },
    &Claim,
    &Release,
    &Negotiate,
    [](const char* path, int flags) { return Refused(path) ? (errno = EACCES, -1) : ::open(path, flags); },
    [](const char* path, int mode) { return Refused(path) ? (errno = EACCES, -1) : ::access(path, mode); }};

std::string Prefixed(const std::string& id) {
    return std::string{char((id.size() + 2) >> 8), char((id.size() + 2) & 0xFF)} + id;
}

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Another program keeping the port (a print job, a second window): an open of the node
// of its own holding the lock, which conflicts with the claim's as PPCLAIM would.
int HoldPort(const std::string& node) {
    int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? fd : -1;
}

class HostParallel : public testing::Test {
  protected:
    void SetUp() override {
        setenv("ORBIS_SOURCES", "kernel", 1);
        unsetenv("ORBIS_WINDOWS_FAMILY");
        root_.WriteFile("sources.ini",
                        "[Kernel]\nSysfs=" + root_.Path() + "/sys\nDev=" + root_.Path() + "/dev\n");
        g_printer = FakePrinter{{}, Prefixed(kId), node_.Master(), -2, 0, {}};
        ClearHostDeviceProblem();
        SetHostIoctlsForTesting(&kFake);
    }
    void TearDown() override {
        SetHostIoctlsForTesting(nullptr);
        setenv("ORBIS_SOURCES", "simulated", 1);
    }
    // A port a driver lists ("ppdev/parport0", "printer/lp0"), its node on the pty unless told not.
    void AddPort(const std::string& port, bool node = true) {
        std::filesystem::create_directories(root_.Path() + "/sys/class/" + port);
        if (node) node_.LinkAs(root_.Path() + "/dev/" + port.substr(port.find('/') + 1));
    }
    // Until what the test sent can be read from the node (a pty passes it on a moment later).
    void WaitReadable() {
        pollfd p = {::open(node_.Path().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY), POLLIN, 0};
        ::poll(&p, 1, 200);
        ::close(p.fd);
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(g_callsMutex);
        return g_printer.calls;
    }

    const std::string kId = "MFG:Vantrel;MDL:Orbis LP 2200;CMD:PJL,VNPAP;";
    orbis::platformtest::TempRoot root_;
    PtyNode node_;
};

HANDLE OpenLpt(const char* name = "LPT1") {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(HostParallel, FamilyFollowsThePortsUnlessSetExplicitly) {
    const int k95 = VER_PLATFORM_WIN32_WINDOWS, kNt = VER_PLATFORM_WIN32_NT;
    struct Case {
        const char* what;
        std::vector<std::string> ports; // "-" before: listed without a node
        int reported = k95;
        const char* sources = "kernel";
        std::vector<std::string> refused = {};
        const char* environment = nullptr; // the explicit setting
    } cases[] = {
        {"no port", {}},
        {"ppdev", {"ppdev/parport0"}, k95, "simulated, kernel "}, // as typed
        {"lp only", {"printer/lp0"}, kNt},
        {"listed without node", {"-ppdev/parport0"}},
        {"second port", {"-ppdev/parport0", "printer/lp1"}, kNt},
        {"kernel source off", {"printer/lp0"}, k95, "simulated"},
        // Without the lp group: the workaround only where lp takes a job; else the 95
        // family, whose open fails and says why, rather than an apply that sends nothing.
        {"ppdev refused, lp writable", {"ppdev/parport0", "printer/lp0"}, kNt, "kernel", {"parport0"}},
        {"nothing may be opened", {"ppdev/parport0", "printer/lp0"}, k95, "kernel", {"parport0", "lp0"}},
        {"a setting wins over the ports", {"printer/lp0"}, k95, "kernel", {}, "95"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(root_.Path() + "/sys");
        std::filesystem::remove_all(root_.Path() + "/dev");
        for (const auto& port : c.ports)
            port[0] == '-' ? AddPort(port.substr(1), false) : AddPort(port);
        g_printer.refused = c.refused;
        setenv("ORBIS_SOURCES", c.sources, 1);
        c.environment ? setenv("ORBIS_WINDOWS_FAMILY", c.environment, 1) : unsetenv("ORBIS_WINDOWS_FAMILY");
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        EXPECT_EQ((int)info.dwPlatformId, c.reported);
    }
    unsetenv("ORBIS_WINDOWS_FAMILY");
    EXPECT_TRUE(Calls().empty()); // finding the family never claims a port
}

TEST_F(HostParallel, OpenFindsThePortOrSaysWhy) {
    struct Case {
        const char* what;
        const char* port = "ppdev/parport0";
        const char* lpt = "LPT1";
        const char* sources = "kernel";
        DWORD error = 0; // 0: opens
        DWORD readError = 0;
        int claimErrno = 0;
        std::vector<std::string> refused = {};
        const char* problem = ""; // HostDeviceProblem() afterwards
        bool held = false;
    } cases[] = {
        {.what = "ppdev port", .sources = "simulated,kernel"},
        {.what = "lp refuses reads",
         .port = "printer/lp1",
         .lpt = "LPT2:",
         .readError = ERROR_INVALID_FUNCTION},
        {.what = "no such port", .lpt = "LPT2", .error = ERROR_FILE_NOT_FOUND},
        {.what = "claim fails", .error = ERROR_FILE_NOT_FOUND, .claimErrno = EBUSY},
        {.what = "kernel source off", .sources = "simulated", .error = ERROR_FILE_NOT_FOUND},
        {.what = "no access",
         .error = ERROR_ACCESS_DENIED,
         .refused = {"parport0"},
         .problem = "permission denied on /dev/parport0: add your user to the lp group and log in again"},
        {.what = "held by another program",
         .error = ERROR_SHARING_VIOLATION,
         .problem = "/dev/parport0 is in use by another program (a print job?): try again when it is done",
         .held = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(root_.Path() + "/sys");
        AddPort(c.port);
        setenv("ORBIS_SOURCES", c.sources, 1);
        g_printer.claimErrno = c.claimErrno;
        g_printer.refused = c.refused;
        int holder = c.held ? HoldPort(node_.Path()) : -1;
        EXPECT_EQ(holder >= 0, c.held);
        auto start = Clock::now();
        HANDLE h = OpenLpt(c.lpt);
        EXPECT_GE(MsSince(start), c.held ? 2500 : 0); // the claim's bound
        ::close(holder);
        std::string problem = HostDeviceProblem();
        if (size_t at = problem.find(root_.Path()); at != std::string::npos)
            problem.erase(at, root_.Path().size());
        EXPECT_EQ(problem, c.problem);
        if (c.error) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS t = {kMax, 0, 0, 0, 0};
        EXPECT_TRUE(SetCommTimeouts(h, &t));
        char buffer[8];
        DWORD got = 99;
        EXPECT_EQ(ReadFile(h, buffer, sizeof buffer, &got, nullptr), c.readError == 0);
        EXPECT_EQ(got, 0u);
        if (c.readError) {
            EXPECT_EQ(GetLastError(), c.readError);
            EXPECT_FALSE(DeviceIoControl(h, 0x11, nullptr, 0, buffer, sizeof buffer, &got, nullptr));
            EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
        }
        EXPECT_TRUE(CloseHandle(h));
    }
    // A printer process serving the port as well wins: the host's node is not touched.
    setenv("ORBIS_SOURCES", "simulated,kernel", 1);
    int served = orbis::platformtest::ListenSilently(root_.Path() + "/dev/LPT1");
    ASSERT_GE(served, 0);
    size_t calls = Calls().size();
    EXPECT_TRUE(CloseHandle(OpenLpt()));
    EXPECT_EQ(Calls().size(), calls);
    ::close(served);
    ::unlink((root_.Path() + "/dev/LPT1").c_str());

    // Between exchanges the port is free for others; an exchange while they hold it gives up.
    setenv("ORBIS_SOURCES", "kernel", 1);
    HANDLE h = OpenLpt();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "a", 1, &written, nullptr));
    int job = HoldPort(node_.Path());
    ASSERT_GE(job, 0);
    auto start = Clock::now();
    EXPECT_FALSE(WriteFile(h, "a", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
    EXPECT_GE(MsSince(start), 2500);
    ::close(job);
    EXPECT_TRUE(WriteFile(h, "b", 1, &written, nullptr));
    EXPECT_EQ(node_.Take(2), "ab");
    CloseHandle(h);
}

TEST_F(HostParallel, DeviceIdWritesAndReadsNegotiateTheirModes) {
    AddPort("ppdev/parport0");
    HANDLE h = OpenLpt();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char id[4096] = {};
    DWORD returned = 0, done = 0;
    ASSERT_TRUE(DeviceIoControl(h, 0x11, nullptr, 0, id, sizeof id, &returned, nullptr));
    EXPECT_EQ(std::string(id, returned), kId);

    ASSERT_TRUE(WriteFile(h, "hello", 5, &done, nullptr));
    EXPECT_EQ(node_.Take(5), "hello");
    auto read = [&](const std::string& sent) {
        node_.Send(sent);
        WaitReadable();
        char reply[8];
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(h, reply, std::max<DWORD>(1, (DWORD)sent.size()), &got, nullptr));
        return std::string(reply, got);
    };
    EXPECT_EQ(read("reply"), "reply");
    g_printer.rejectMode = kParModeNibble; // a printer without nibble mode is read in byte mode
    ASSERT_TRUE(WriteFile(h, "x", 1, &done, nullptr));
    EXPECT_EQ(read("y"), "y");
    COMMTIMEOUTS immediate = {kMax, 0, 0, 0, 0};
    SetCommTimeouts(h, &immediate);
    EXPECT_EQ(read(""), ""); // nothing there: the next read negotiates afresh
    EXPECT_EQ(read("z"), "z");
    CloseHandle(h);
    // The port is this process's only for each exchange (open, ID, write, read step).
    EXPECT_EQ(Calls(),
              std::vector<std::string>({"claim",   "release",  "claim",    "mode 4",   "mode 256", "release",
                                        "claim",   "mode 256", "release",  "claim",    "mode 0",   "mode 256",
                                        "release", "claim",    "mode 256", "release",  "claim",    "mode 0",
                                        "mode 1",  "mode 256", "release",  "claim",    "mode 1",   "mode 256",
                                        "release", "claim",    "mode 1",   "mode 256", "release"}));
    EXPECT_EQ(node_.Take(1), "x");
}

TEST_F(HostParallel, DeviceIdFailuresAreWindowsErrors) {
    // what the printer sends, the buffer's size, the error, the ID returned
    const std::tuple<const char*, std::string, DWORD, DWORD, std::string> cases[] = {
        {"id larger than the buffer", Prefixed("MFG:Vantrel;"), 4, ERROR_MORE_DATA, "MFG:"},
        {"length below its own size", std::string("\0\1", 2), 64, ERROR_GEN_FAILURE, ""},
        {"silent printer", "", 64, ERROR_SEM_TIMEOUT, ""},
        // a short ID ends after a quarter second of silence
        {"ID shorter than announced", std::string("\0\x20", 2) + "MFG:X;", 64, 0, "MFG:X;"},
    };
    AddPort("ppdev/parport0");
    for (const auto& [what, reply, outSize, error, expected] : cases) {
        SCOPED_TRACE(what);
        g_printer.idReply = reply;
        HANDLE h = OpenLpt();
        std::string id(outSize, '\0');
        DWORD returned = 0;
        auto start = Clock::now();
        EXPECT_EQ(DeviceIoControl(h, 0x11, nullptr, 0, id.data(), outSize, &returned, nullptr), error == 0);
        EXPECT_GE(MsSince(start), error == 0 ? 250 : 0);
        EXPECT_EQ(error ? GetLastError() : 0, error);
        EXPECT_EQ(id.substr(0, returned), expected);
        CloseHandle(h);
        int fd = ::open(node_.Path().c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
        ::tcflush(fd, TCIOFLUSH); // what the printer sent past the reader goes
        ::close(fd);
    }
}

TEST_F(HostParallel, ReadsAndWritesKeepTheirTimeouts) {
    // the time-outs set (none: the port's default), what waits on the node, the count asked for
    const std::tuple<const char*, std::optional<COMMTIMEOUTS>, std::string, DWORD, int64_t> cases[] = {
        {"default: one second in total", {}, "", 4, 1000},
        {"total time-out, nothing", COMMTIMEOUTS{0, 10, 200, 0, 0}, "", 10, 300},
        {"immediate", COMMTIMEOUTS{kMax, 0, 0, 0, 0}, "ab", 8, 0},
        {"interval ends a partial read", COMMTIMEOUTS{50, 0, 5000, 0, 0}, "abc", 8, 50},
        {"any byte", COMMTIMEOUTS{kMax, kMax, 3000, 0, 0}, "a", 8, 0},
        {"any byte, nothing", COMMTIMEOUTS{kMax, kMax, 300, 0, 0}, "", 8, 300},
    };
    AddPort("ppdev/parport0");
    for (const auto& [what, timeouts, waiting, want, atLeastMs] : cases) {
        SCOPED_TRACE(what);
        HANDLE h = OpenLpt();
        COMMTIMEOUTS t = timeouts.value_or(COMMTIMEOUTS{}), back{};
        EXPECT_TRUE(!timeouts || SetCommTimeouts(h, &t));
        EXPECT_TRUE(GetCommTimeouts(h, &back));
        EXPECT_EQ(back.ReadTotalTimeoutConstant, timeouts ? t.ReadTotalTimeoutConstant : 1000u);
        node_.Send(waiting);
        std::string buffer(want, '\0');
        DWORD got = 0;
        auto start = Clock::now();
        EXPECT_TRUE(ReadFile(h, buffer.data(), want, &got, nullptr));
        EXPECT_GE(MsSince(start), atLeastMs);
        EXPECT_LT(MsSince(start), atLeastMs + 2500);
        EXPECT_EQ(buffer.substr(0, got), waiting);
        CloseHandle(h);
    }
    // A write the printer does not take within the write time-outs fails with what went out.
    HANDLE h = OpenLpt();
    COMMTIMEOUTS t = {0, 0, 0, 0, 300};
    SetCommTimeouts(h, &t);
    std::string big(4 << 20, 'z');
    DWORD written = 0;
    auto start = Clock::now();
    EXPECT_FALSE(WriteFile(h, big.data(), (DWORD)big.size(), &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
    EXPECT_GE(MsSince(start), 300);
    EXPECT_LT(written, big.size());
    EXPECT_EQ(node_.Take(written, 10000), big.substr(0, written));
    CloseHandle(h);
}

TEST_F(HostParallel, BlockedReadEndsOnCancelCloseAndUnplug) {
    enum How { kCancel, kClose, kUnplug };
    const std::pair<How, DWORD> cases[] = {{kCancel, ERROR_OPERATION_ABORTED},
                                           {kClose, ERROR_OPERATION_ABORTED},
                                           {kUnplug, ERROR_DEVICE_NOT_CONNECTED}};
    for (const auto& [how, error] : cases) {
        SCOPED_TRACE(how);
        auto node = std::make_unique<PtyNode>();
        std::filesystem::create_directories(root_.Path() + "/sys/class/ppdev/parport1");
        node->LinkAs(root_.Path() + "/dev/parport1");
        HANDLE h = OpenLpt("LPT2");
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS forever = {0, 0, 0, 0, 0};
        SetCommTimeouts(h, &forever);
        EXPECT_EQ(orbis::platformtest::EndBlockedRead(h,
                                                      [&, how = how] {
                                                          if (how == kCancel) CancelIo(h);
                                                          if (how == kClose) CloseHandle(h);
                                                          if (how == kUnplug) node.reset();
                                                      }),
                  error);
        DWORD written = 0;
        EXPECT_EQ(WriteFile(h, "a", 1, &written, nullptr), how == kCancel);
        EXPECT_TRUE(how != kUnplug || GetLastError() == ERROR_DEVICE_NOT_CONNECTED);
        if (how != kClose) CloseHandle(h);
    }
}

TEST_F(HostParallel, NtFamilyCopyReachesTheLpPort) {
    AddPort("printer/lp0");
    root_.WriteFile("c/Temp/LPT1.TMP", std::string("\xA5\x00\x05job", 6));
    EXPECT_EQ(WinSystem("copy /b C:\\Temp\\LPT1.TMP LPT1"), 0);
    EXPECT_EQ(node_.Take(6), std::string("\xA5\x00\x05job", 6));
    // The ID parport probed (its lines as procfs gives them) makes a spooler entry; no queue needed.
    root_.WriteFile("sources.ini", "[Kernel]\nSysfs=" + root_.Path() + "/sys\nDev=" + root_.Path() +
                                       "/dev\nProc=" + root_.Path() + "/proc\n");
    AddPort("printer/lp1");
    root_.WriteFile("proc/sys/dev/parport/parport0/autoprobe",
                    "CLASS:PRINTER;\nMODEL:Orbis LP 2200;\nMANUFACTURER:Vantrel;\nCOMMAND SET:PJL,PCL;\n");
    root_.WriteFile("proc/sys/dev/parport/parport1/autoprobe", "MODEL:LaserJet 4L;\nMANUFACTURER:HP;\n");
    RefreshHostEntriesForTesting();
    EXPECT_EQ(orbis::platformtest::SpoolerPorts(),
              std::vector<std::string>({"Orbis LP 2200 PCL (LPT1)=LPT1"}));
}

} // namespace
