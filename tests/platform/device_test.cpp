// Printer ports reached through the Win32 calls, against real printer processes:
// COMMTIMEOUTS on parallel ports, SetupAPI listing and roots kept apart, vanishing
// printers, and overlapped pipe reads.
#include "support/setupapi_listing.h"
#include "support/temp_root.h"
#include "tests/sim/sim_process.h"

#include "win32.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <array>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using orbis::test::SimProcess;
using orbis::test::TempRoot;
using Clock = std::chrono::steady_clock;

namespace {

const char kPrinterClass[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kDeviceClass[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const GUID kPrinterGuid = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const GUID kDeviceGuid = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};
const std::string kNpaStart("\xA5\x00\x10\x80\xA4\x5B\xA4\x5B\x10\xEF\xA4\x5B\x11\xEE\x00\xFF\x13\xEC\x2E",
                            19);
const std::string kPjlInquiry = "\x1b%-12345X@PJL DINQUIRE VNPAP\r\n\x1b%-12345X";
const std::string kMouse = "\\\\?\\usb#vid_046d&pid_c52b#5&2b7c0001&0&1#" + std::string(kDeviceClass);

std::string UsbPath(int port, const char* cls = kPrinterClass, const char* pipe = "") {
    char serial[16];
    std::snprintf(serial, sizeof serial, "O2200U%03d", port);
    return std::string("\\\\?\\usb#vid_1a2b&pid_0c1d#") + serial + "#" + cls + pipe;
}

// Batched queries behind the NPA start packet: of one setting, and of six.
const std::string kQueryOne = kNpaStart + std::string("\xA5\x00\x07\x50\xE0\xE7\x20\x01\x01\x01", 10);
const std::string kQuerySix =
    kNpaStart +
    std::string("\xA5\x00\x11\x50\xE0\xE7\x20\x06\x01\x01\x01\x41\x06\x02\x04\x07\x01\x12\x04\x08", 20);

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

HANDLE Open(const std::string& name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(HANDLE h, const std::string& data) {
    DWORD written = 0;
    return WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr) && written == data.size();
}

std::set<std::string> ListInterfaces(const GUID& cls) {
    auto paths = orbis::platformtest::ListInterfaces(cls);
    return {paths.begin(), paths.end()};
}

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("ORBIS_ROOT", root.Path().c_str(), 1); }
    std::unique_ptr<SimProcess> Start(std::vector<std::string> args, const std::string& at = "") {
        auto sim = std::make_unique<SimProcess>(at.empty() ? root.Path() : at, std::move(args));
        EXPECT_TRUE(sim->Ready()) << "printer did not attach";
        return sim;
    }
    TempRoot root;
};

} // namespace

TEST_F(DeviceTest, ParallelReadsHonourTheirTimeouts) {
    struct Case {
        const char* what;
        bool set, inquire;
        COMMTIMEOUTS timeouts;
        DWORD count, expectedBytes;
        int64_t minMs, maxMs;
    } cases[] = {
        {"never set: one second in total", false, false, {}, 16, 0, 980, 1700},
        {"total constant", true, false, {0, 0, 300, 0, 0}, 16, 0, 280, 1000},
        {"multiplier and constant", true, false, {0, 20, 100, 0, 0}, 10, 0, 280, 1000},
        {"interval alone waits for the first byte", true, false, {50, 0, 400, 0, 0}, 16, 0, 380, 1100},
        // 4-byte pieces 300 ms apart: the interval ends the read after the first, long before the total.
        {"interval between pieces", true, true, {100, 0, 5000, 0, 0}, 128, 4, 0, 2000},
    };
    auto sim = Start({"--lpt", "1", "--pieces", "4", "--piece-delay", "300"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE port = Open("LPT1");
        COMMTIMEOUTS t = c.timeouts;
        ASSERT_TRUE(!c.set || SetCommTimeouts(port, &t));
        ASSERT_TRUE(!c.inquire || Write(port, kPjlInquiry));
        char buffer[128];
        DWORD got = 99;
        auto start = Clock::now();
        EXPECT_TRUE(ReadFile(port, buffer, c.count, &got, nullptr));
        const int64_t elapsed = MsSince(start);
        EXPECT_EQ(got, c.expectedBytes);
        EXPECT_TRUE(elapsed >= c.minMs && elapsed <= c.maxMs) << elapsed << " ms";
        CloseHandle(port);
    }
}

// Only the printers of this root, and only while their process lives; a port that is served
// already cannot be taken by another printer.
TEST_F(DeviceTest, SetupApiListsExactlyThePresentUsbPrinters) {
    TempRoot other;
    auto elsewhere = Start({"--usb", "3"}, other.Path());
    auto first = Start({"--usb", "1", "--other-usb", "1"});
    auto second = Start({"--usb", "2", "--lpt", "1"});
    EXPECT_FALSE(SimProcess(root.Path(), {"--lpt", "1"}).Ready());
    struct Case {
        const GUID& cls;
        std::set<std::string> bothRunning, firstOnly;
    } cases[] = {
        {kPrinterGuid, {UsbPath(1), UsbPath(2)}, {UsbPath(1)}},
        {kDeviceGuid,
         {UsbPath(1, kDeviceClass), UsbPath(2, kDeviceClass), kMouse},
         {UsbPath(1, kDeviceClass), kMouse}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListInterfaces(c.cls), c.bothRunning);
    second->Stop();
    for (const auto& c : cases)
        EXPECT_EQ(ListInterfaces(c.cls), c.firstOnly);
    first->Kill(); // killed without detaching: no longer present all the same
    for (const auto& c : cases)
        EXPECT_TRUE(ListInterfaces(c.cls).empty());
    ::setenv("ORBIS_ROOT", other.Path().c_str(), 1);
    EXPECT_EQ(ListInterfaces(kPrinterGuid), std::set<std::string>{UsbPath(3)});
}

TEST_F(DeviceTest, APrinterThatVanishesMidReplyMakesReadsFailNotHang) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool usb, kill; // kill: the process dies; otherwise it drops the connection itself
        DWORD firstRead;
    } cases[] = {
        {"parallel killed", {"--lpt", "1", "--pieces", "8", "--piece-delay", "200"}, false, true, 8},
        {"usb killed", {"--usb", "1", "--pieces", "8", "--piece-delay", "200"}, true, true, 8},
        {"parallel drops", {"--lpt", "1", "--drop-after", "10"}, false, false, 10},
        {"usb drops", {"--usb", "1", "--drop-after", "10"}, true, false, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto sim = Start(c.args);
        const std::string outName = c.usb ? UsbPath(1, kPrinterClass, "\\PIPE00") : "LPT1";
        HANDLE out = Open(outName);
        HANDLE in = c.usb ? Open(UsbPath(1, kPrinterClass, "\\PIPE01"), GENERIC_READ) : out;
        ASSERT_NE(in, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS t = {0, 0, 30000, 0, 0};
        ASSERT_TRUE(c.usb || SetCommTimeouts(in, &t));
        ASSERT_TRUE(Write(out, kQuerySix));
        char buffer[64];
        DWORD got = 0, after = 0, error = 0;
        ASSERT_TRUE(ReadFile(in, buffer, c.firstRead, &got, nullptr));
        EXPECT_EQ(got, c.firstRead);
        if (c.kill) sim->Kill();
        // The rest never comes: reads end with an error within seconds, not at the 30-second total.
        auto start = Clock::now();
        for (int i = 0; i < 10 && !error; ++i, after += got)
            if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) error = GetLastError();
        EXPECT_EQ(error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
        EXPECT_LT(MsSince(start), 5000);
        EXPECT_TRUE(c.kill || after == 0) << after << " bytes after the drop";
        EXPECT_FALSE(c.kill && Write(out, "x"));
        if (in != out) CloseHandle(in);
        CloseHandle(out);
        EXPECT_FALSE(c.kill && Open(outName, GENERIC_WRITE) != INVALID_HANDLE_VALUE);
    }
}

// A read pipe's connection outlives its handle (a pipe open never reaches the printer), so a
// drop limit set later may be below what it carried: it is dropped at once, the printer lives on.
TEST_F(DeviceTest, AKeptPipeOverADropLimitSetLaterIsDroppedAndThePrinterLivesOn) {
    const std::string control = root.Path() + "/control";
    auto sim = Start({"--usb", "1", "--control", control});
    auto readPiece = [](DWORD* got) {
        HANDLE in = Open(UsbPath(1, kPrinterClass, "\\PIPE01"), GENERIC_READ);
        char piece[32];
        bool ok = ReadFile(in, piece, sizeof piece, got, nullptr);
        CloseHandle(in);
        return ok;
    };
    auto ask = [] {
        HANDLE out = Open(UsbPath(1, kPrinterClass, "\\PIPE00"), GENERIC_WRITE);
        EXPECT_TRUE(Write(out, kQuerySix));
        CloseHandle(out);
    };
    ask();
    DWORD got = 0;
    ASSERT_TRUE(readPiece(&got));
    ASSERT_GT(got, 5u);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", control.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    char answer[3] = {};
    ASSERT_EQ(::send(fd, "--drop-after 5\n", 15, MSG_NOSIGNAL), 15);
    ASSERT_EQ(::recv(fd, answer, 2, MSG_WAITALL), 2);
    ::close(fd);
    EXPECT_STREQ(answer, "ok");
    ask();
    EXPECT_FALSE(readPiece(&got));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(sim->Stop(), 0);
}

// Overlapped reads on a printer's pipes wait in the process's one I/O loop:
// reads in flight add no threads, and their routines run only in an alertable
// wait of the thread that started them, once; CancelIo and CloseHandle abort them.
TEST_F(DeviceTest, OverlappedPipeReadsNeedNoThreadEachAndCompleteAsOnWindows) {
    auto sim = Start({"--usb", "1"});
    auto threads = [] {
        auto tasks = std::filesystem::directory_iterator("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    static thread_local std::vector<DWORD> seen; // errors the routine saw, on this thread
    seen.clear();
    auto done = [](DWORD error, DWORD, LPOVERLAPPED) { seen.push_back(error); };
    // Rows: how the read ends, for how many pipes at once, and the error its routine sees.
    enum End { Answered, Cancelled, Closed };
    const struct Row {
        const char* how;
        End end;
        size_t pipes;
        DWORD error;
    } rows[] = {{"answered", Answered, 1, ERROR_SUCCESS},
                {"CancelIo", Cancelled, 12, ERROR_OPERATION_ABORTED},
                {"CloseHandle", Closed, 12, ERROR_OPERATION_ABORTED}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        std::vector<HANDLE> pipes(row.pipes);
        std::vector<OVERLAPPED> ovs(row.pipes);
        std::vector<std::array<char, 32>> buffers(row.pipes);
        for (auto& pipe : pipes)
            ASSERT_NE(pipe = Open(UsbPath(1, kPrinterClass, "\\PIPE01"), GENERIC_READ), INVALID_HANDLE_VALUE);
        const auto before = threads();
        for (size_t i = 0; i < pipes.size(); ++i) {
            ovs[i].hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            ASSERT_TRUE(ReadFileEx(pipes[i], buffers[i].data(), 32, &ovs[i], done)); // nothing to say yet
        }
        EXPECT_EQ(threads(), before);
        DWORD bytes = 0;
        EXPECT_FALSE(GetOverlappedResult(pipes[0], &ovs[0], &bytes, FALSE));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_INCOMPLETE));
        if (row.end == Answered) {
            // Another thread's event ends a wait of ours while our read waits in it; the read
            // is left to the I/O loop then.
            HANDLE other = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            std::thread setter([other, caller = gettid()] {
                EXPECT_TRUE(orbis::platformtest::WaitUntilAsleep(caller, 20000));
                SetEvent(other);
            });
            auto asleep = Clock::now();
            EXPECT_EQ(WaitForSingleObject(other, 20000), WAIT_OBJECT_0);
            EXPECT_LT(MsSince(asleep), 20000);
            setter.join();
            CloseHandle(other);
            HANDLE out = Open(UsbPath(1, kPrinterClass, "\\PIPE00"), GENERIC_WRITE);
            ASSERT_TRUE(Write(out, kQueryOne));
            CloseHandle(out);
            // No wait of ours from here: only the I/O loop can complete the read.
            auto start = Clock::now();
            while (!GetOverlappedResult(pipes[0], &ovs[0], &bytes, FALSE) && MsSince(start) < 20000)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_LT(MsSince(start), 20000);
            EXPECT_EQ(WaitForSingleObject(ovs[0].hEvent, 0), WAIT_OBJECT_0); // not alertable: no routine
            EXPECT_TRUE(seen.empty());
        }
        for (auto& pipe : pipes) {
            EXPECT_TRUE(row.end != Cancelled || CancelIo(pipe));
            EXPECT_TRUE(row.end != Closed || CloseHandle(std::exchange(pipe, INVALID_HANDLE_VALUE)));
        }
        if (row.end == Cancelled) // the pipes are shut and still open: no thread may spin on them
            EXPECT_EQ(orbis::platformtest::SpinningThreads(), 0);
        for (size_t i = 0; i < pipes.size(); ++i)
            EXPECT_EQ(GetOverlappedResult(pipes[i], &ovs[i], &bytes, TRUE), row.error == ERROR_SUCCESS);
        EXPECT_EQ(SleepEx(20000, TRUE), WAIT_IO_COMPLETION);
        while (SleepEx(0, TRUE) == WAIT_IO_COMPLETION) {
        }
        EXPECT_EQ(seen, std::vector<DWORD>(row.pipes, row.error)); // each routine once, on this thread
        seen.clear();
        for (size_t i = 0; i < pipes.size(); ++i) {
            if (pipes[i] != INVALID_HANDLE_VALUE) CloseHandle(pipes[i]);
            CloseHandle(ovs[i].hEvent);
        }
    }
}
