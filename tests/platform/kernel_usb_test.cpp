// USB printers of the kernel's printer-class driver: found in a fake sysfs,
// registered as Windows registers a plugged-in printer, listed for the spooler,
// and opened through CreateFileA on a pty standing in for /dev/usb/lpN.
#include "support/pty_node.h"
#include "support/setupapi_listing.h"
#include "support/temp_root.h"

#include "platform/standin/hive.h"
#include "platform/host/host_devices.h"
#include "platform/host/host_ioctl.h"
#include "platform/host/kernel_usb.h"

#include "dvc.h"
#include "dvc_internal.h"
#include "engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

using namespace orbis::platform;
using orbis::platformtest::PtyNode;
namespace fs = std::filesystem;

namespace {

const char kId[] = "MFG:Vantrel;MDL:Orbis LP 2200;CMD:PCL,VNPAP;";
const char kPrinterClass[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kDeviceClass[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// The fake usblp: the device ID of the node's pty, its length prefix clamped to 2..1023 bytes copied
// (usblp's buffer is 1024); g_idErrno fails one request. A node opens once at a time (EBUSY after).
std::mutex g_idsMutex;
std::map<std::string, std::string> g_ids; // pty path -> device ID
int g_idErrno = 0;
std::optional<std::string> g_idPrefix; // sent instead of the ID's true length
std::string g_refused;                 // a node opened with EACCES, as without the lp group

int FakeDeviceId(int fd, void* buffer, size_t size) {
    std::lock_guard lock(g_idsMutex);
    if (int e = std::exchange(g_idErrno, 0)) return errno = e, -1;
    std::string id = g_ids[ttyname(fd) ? ttyname(fd) : ""];
    std::string usblpBuffer =
        g_idPrefix.value_or(std::string{char((id.size() + 2) >> 8), char(id.size() + 2)});
    usblpBuffer += id;
    usblpBuffer.resize(1024, '\0');
    size_t length = (size_t)(unsigned char)usblpBuffer[0] << 8 | (unsigned char)usblpBuffer[1];
    length = std::clamp<size_t>(length, 2, 1023);
    std::memcpy(buffer, usblpBuffer.data(), std::min(size, length));
    return 0;
}
int FakeOpen(const char* path, int flags) {
    if (path == g_refused) return errno = EACCES, -1;
    int fd = ::open(path, flags);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return errno = EBUSY, -1;
    }
    return fd;
}
const HostIoctls kFakeIoctls = {
    &FakeDeviceId, [](int) { return -1; }, [](int) { return -1; }, [](int, int) { return -1; }, &FakeOpen,
    nullptr};

struct Plugged {
    int lp;
    std::optional<std::string> serial;
    std::optional<std::string> id = kId;
    std::string vid = "0a5f", bus = "1", devpath = "4";
    bool node = true;
};

class KernelUsb : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("ORBIS_SOURCES", "kernel", 1);
        root_.WriteFile("sources.ini", "[Kernel]\nSysfs=" + Sys("") + "\nDev=" + root_.Path() + "/dev\n");
        SetHostIoctlsForTesting(&kFakeIoctls);
        SetKernelUsbTimesForTesting(0, 50);
    }
    void TearDown() override {
        SetHostIoctlsForTesting(nullptr);
        SetKernelUsbTimesForTesting(0, 0);
        setenv("ORBIS_SOURCES", "simulated", 1);
        g_idPrefix.reset();
        g_refused.clear();
        g_idErrno = 0;
    }
    std::string Sys(const std::string& relative) const { return root_.Path() + "/sys/" + relative; }

    // The layout the kernel gives: device dir, interface dir, usbmisc entry linked from the class.
    PtyNode& Plug(const Plugged& p) {
        std::string device = "devices/usb" + p.bus + "/" + p.bus + "-" + p.devpath;
        std::string interface = device + "/" + p.bus + "-" + p.devpath + ":1.0";
        std::string lp = "lp" + std::to_string(p.lp);
        root_.WriteFile("sys/" + device + "/idVendor", p.vid + "\n");
        root_.WriteFile("sys/" + device + "/idProduct", "0042\n");
        root_.WriteFile("sys/" + device + "/busnum", p.bus + "\n");
        root_.WriteFile("sys/" + device + "/devpath", p.devpath + "\n");
        if (p.serial) root_.WriteFile("sys/" + device + "/serial", *p.serial + "\n");
        if (p.id) root_.WriteFile("sys/" + interface + "/ieee1284_id", *p.id + "\n");
        fs::create_directories(Sys(interface + "/usbmisc/" + lp));
        fs::create_symlink("../../../" + p.bus + "-" + p.devpath + ":1.0",
                           Sys(interface + "/usbmisc/" + lp + "/device"));
        fs::create_directories(Sys("class/usbmisc"));
        fs::create_symlink("../../" + interface + "/usbmisc/" + lp, Sys("class/usbmisc/" + lp));
        auto& pty = ptys_[p.lp];
        pty = std::make_unique<PtyNode>();
        if (p.node) pty->LinkAs(root_.Path() + "/dev/usb/" + lp);
        std::lock_guard lock(g_idsMutex);
        g_ids[pty->Path()] = p.id.value_or("");
        return *pty;
    }
    void Unplug(int lp) {
        fs::remove(Sys("class/usbmisc/lp" + std::to_string(lp)));
        ptys_.erase(lp); // the node hangs up
    }

    orbis::platformtest::TempRoot root_;
    std::map<int, std::unique_ptr<PtyNode>> ptys_;
};

std::string Path(const std::string& segment, const char* cls, const std::string& vid = "0a5f") {
    return "\\\\?\\usb#vid_" + vid + "&pid_0042#" + segment + "#" + cls;
}

TEST_F(KernelUsb, ScanNamesPrintersAsWindowsDoes) {
    const char kOther[] = "MANUFACTURER:Vantrel;MODEL:Orbis LP 2200;", kOddSerial[] = "A#B\\C/D E\x01";
    const char kWithSerial[] = "MFG:Vantrel;MDL:Orbis LP 2200;SERN: ID 77 ;";
    const char kMakerInModel[] = "MDL:Acme LP 9;MFG:ACME;";
    const struct Case {
        Plugged plugged;
        std::string segment, serial, portKey, deviceId, vid = "0a5f";
    } cases[] = {
        // in the order listed: by node number, lp2 before lp10
        {{2, std::nullopt, kOther, "0a5f", "3", "1.4"}, "Inst_3&1.4", "", "Vantrel/Orbis LP 2200", kOther},
        {{3, kOddSerial, kId, "0a5f", "2"}, "A_B_C_D_E_", "A_B_C_D_E_", "A#B\\C/D E_", kId},
        {{4, {}, {}, "04B8", "4", "2"}, "Inst_4&2", "", "USB\\VID_04B8&PID_0042\\Inst_4&2", "", "04b8"},
        {{10, "55AB"}, "55AB", "55AB", "55AB", kId},
        // The same serial again, and the same MFG/MDL as lp2: told apart by where it is plugged in.
        {{11, "55AB", kId, "0a5f", "6", "1"}, "Inst_6&1", "", "USB\\VID_0A5F&PID_0042\\Inst_6&1", kId},
        // CUPS takes the device ID's serial before the USB one, and the model without the maker.
        {{12, "D5", kWithSerial, "0a5f", "7", "1"}, "D5", "D5", "ID 77", kWithSerial},
        {{13, std::nullopt, kMakerInModel, "0a5f", "8", "1"}, "Inst_8&1", "", "ACME/LP 9", kMakerInModel},
    };
    for (const auto& c : cases)
        Plug(c.plugged);
    Plug({5, "NONODE", kId, "0a5f", "5", "1", false}); // not listed
    auto printers = ScanKernelUsbPrinters(CurrentHostSources());
    ASSERT_EQ(printers.size(), std::size(cases));
    for (size_t i = 0; i < printers.size(); ++i) {
        const auto& c = cases[i];
        const auto& p = printers[i];
        SCOPED_TRACE(c.plugged.lp);
        EXPECT_EQ(p.printerPath, Path(c.segment, kPrinterClass, c.vid));
        EXPECT_EQ(p.instance,
                  (c.vid == "0a5f" ? "USB\\VID_0A5F&PID_0042\\" : "USB\\VID_04B8&PID_0042\\") + c.segment);
        EXPECT_EQ(p.serial, c.serial);
        EXPECT_EQ(p.portKey, c.portKey);
        EXPECT_EQ(p.deviceId, c.deviceId);
    }
}

// Reads one value of the hive the way a Windows program would see it.
std::optional<std::string> Value(Hive& hive, const std::string& key, const char* name) {
    RegKey* k = hive.Find(key);
    RegValue* v = k ? k->FindValue(name) : nullptr;
    if (!v) return std::nullopt;
    if (v->type == REG_DWORD) return std::to_string(v->data[0] | v->data[1] << 8);
    return std::string(v->data.begin(), v->data.end() - 1);
}

std::string Key(const std::string& serial, const char* cls) {
    std::string name = Path(serial, cls);
    std::replace(name.begin(), name.end(), '\\', '#');
    return std::string("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\") + cls +
           "\\" + name;
}

TEST(KernelUsbKeys, PluggingUnpluggingAndReplugging) {
    Hive hive;
    bool created;
    // A simulated printer's instance (no marker) on port 3 is never touched.
    hive.Create(Key("SIM", kPrinterClass) + "\\#\\Device Parameters", &created)
        .values.push_back({"Port Number", REG_DWORD, {3, 0, 0, 0}});
    hive.Create(Key("SIM", kPrinterClass) + "\\#\\Control", &created)
        .values.push_back({"Linked", REG_DWORD, {1, 0, 0, 0}});
    const struct Step {
        const char* name;
        std::vector<std::string> present;
        bool changed;
        std::map<std::string, std::string> linked, port; // by serial
    } steps[] = {
        {"A plugged", {"A1"}, true, {{"A1", "1"}, {"SIM", "1"}}, {{"A1", "1"}, {"SIM", "3"}}},
        {"nothing new", {"A1"}, false, {{"A1", "1"}}, {{"A1", "1"}}},
        {"B plugged: the next free number", {"A1", "B2"}, true, {{"A1", "1"}, {"B2", "1"}}, {{"B2", "2"}}},
        {"A unplugged: kept, unlinked",
         {"B2"},
         true,
         {{"A1", "0"}, {"B2", "1"}, {"SIM", "1"}},
         {{"A1", "1"}}},
        {"still unplugged", {"B2"}, false, {{"A1", "0"}}, {{"A1", "1"}}},
        {"A back on its old port",
         {"B2", "A1"},
         true,
         {{"A1", "1"}, {"B2", "1"}},
         {{"A1", "1"}, {"B2", "2"}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        std::vector<KernelUsbPrinter> printers;
        for (const auto& s : step.present)
            printers.push_back({"/dev/usb/lp0", Path(s, kPrinterClass), Path(s, kDeviceClass),
                                "USB\\VID_0A5F&PID_0042\\" + s, s, kId, s});
        bool changed = false;
        ApplyKernelUsbPrinters(hive, printers, &changed);
        EXPECT_EQ(changed, step.changed);
        for (const auto& [serial, linked] : step.linked) {
            EXPECT_EQ(Value(hive, Key(serial, kPrinterClass) + "\\#\\Control", "Linked"), linked) << serial;
            if (serial == "SIM") continue;
            EXPECT_EQ(Value(hive, Key(serial, kDeviceClass) + "\\#\\Control", "Linked"), linked) << serial;
        }
        for (const auto& [serial, port] : step.port)
            EXPECT_EQ(Value(hive, Key(serial, kPrinterClass) + "\\#\\Device Parameters", "Port Number"),
                      port);
    }
    for (const char* cls : {kPrinterClass, kDeviceClass}) {
        EXPECT_EQ(Value(hive, Key("A1", cls), "DeviceInstance"), "USB\\VID_0A5F&PID_0042\\A1");
        EXPECT_EQ(Value(hive, Key("A1", cls), "HostSource"), "kernel");
        EXPECT_EQ(Value(hive, Key("A1", cls) + "\\#", "SymbolicLink"), Path("A1", cls));
    }
    EXPECT_EQ(Value(hive, Key("SIM", kPrinterClass), "HostSource"), std::nullopt);
}

HANDLE Open(const std::string& name, DWORD access) {
    return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

TEST_F(KernelUsb, PipesAndDeviceIdShareOneNode) {
    SetKernelUsbTimesForTesting(300, 1500);
    PtyNode& pty = Plug({0, "55AB"});
    // Every handle on the one node (usblp lets it be open once): either class, any case.
    HANDLE write = Open(Path("55AB", kPrinterClass) + "\\PIPE00", GENERIC_WRITE);
    HANDLE read = Open(Path("55ab", kDeviceClass) + "\\pipe01", GENERIC_READ);
    HANDLE writeOnly = Open(Path("55AB", kPrinterClass), GENERIC_WRITE);
    HANDLE device = Open(Path("55AB", kDeviceClass), GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(write, INVALID_HANDLE_VALUE);
    ASSERT_NE(read, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(write, "\xA5\x00\x02hello", 8, &n, nullptr));
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(pty.Take(8), std::string("\xA5\x00\x02hello", 8));
    pty.Send(std::string(40, 'r'));
    char buffer[64];
    ASSERT_TRUE(ReadFile(read, buffer, 32, &n, nullptr));
    EXPECT_EQ(n, 32u);
    ASSERT_TRUE(ReadFile(read, buffer, 32, &n, nullptr));
    EXPECT_EQ(n, 8u);
    const std::tuple<const char*, HANDLE, bool, DWORD> misuses[] = {
        {"read on the write pipe", write, true, ERROR_INVALID_FUNCTION},
        {"write on the read pipe", read, false, ERROR_INVALID_FUNCTION},
        {"read without read access", writeOnly, true, ERROR_ACCESS_DENIED}};
    for (const auto& [name, handle, reads, error] : misuses) {
        SetLastError(0);
        EXPECT_FALSE(reads ? ReadFile(handle, buffer, 32, &n, nullptr)
                           : WriteFile(handle, "x", 1, &n, nullptr))
            << name;
        EXPECT_EQ(GetLastError(), error) << name;
    }
    EXPECT_EQ(Open(Path("OTHER", kPrinterClass) + "\\PIPE00", GENERIC_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // The device ID keeps its length prefix: code, out size, errno of the request, prefix as sent;
    // then the outcome and the count returned.
    const std::string prefix = {0, char(sizeof kId + 1)}, swapped = {char(sizeof kId + 1), 0};
    const std::tuple<DWORD, DWORD, int, std::string, BOOL, DWORD, DWORD> requests[] = {
        {0x00220034, 4096, 0, prefix, TRUE, 0, sizeof kId + 1},
        {0x00220034, 10, 0, prefix, FALSE, ERROR_MORE_DATA, 10},
        {0x00220034, 0, 0, prefix, FALSE, ERROR_INSUFFICIENT_BUFFER, 0},
        {0x11, 4096, 0, prefix, FALSE, ERROR_INVALID_FUNCTION, 0},
        // usblp keeps a wrong-endian or too short length within its buffer.
        {0x00220034, 4096, 0, swapped, TRUE, 0, 1023},
        {0x00220034, 4096, 0, {0, 1}, TRUE, 0, 2},
        // One EIO (a failed transfer) is not an unplug: the next request is answered.
        {0x00220034, 4096, EIO, prefix, FALSE, ERROR_GEN_FAILURE, 0},
        {0x00220034, 4096, 0, prefix, TRUE, 0, sizeof kId + 1},
    };
    for (const auto& [code, outSize, failure, sentPrefix, ok, error, count] : requests) {
        SCOPED_TRACE(testing::Message() << error << " " << count);
        g_idErrno = failure;
        g_idPrefix = sentPrefix;
        std::vector<char> out(4096);
        DWORD returned = 99;
        SetLastError(0);
        EXPECT_EQ(DeviceIoControl(device, code, nullptr, 0, outSize ? out.data() : nullptr, outSize,
                                  &returned, nullptr),
                  ok);
        EXPECT_EQ(GetLastError(), error);
        EXPECT_EQ(returned, count);
        std::string sent =
            (sentPrefix + kId).substr(0, std::min<size_t>(returned, sentPrefix.size() + sizeof kId - 1));
        EXPECT_EQ(std::string(out.data(), std::min<size_t>(returned, sent.size())), sent);
    }

    // A write the printer does not take is given the whole stall limit, then ends with what went out.
    std::string big(8 << 20, 'w'); // far more than the pty holds while nobody reads it
    DWORD start = GetTickCount();
    EXPECT_FALSE(WriteFile(write, big.data(), (DWORD)big.size(), &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, 300u);
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, big.size());

    // The node stays open a moment after the last handle, for the next pipe; then it is free.
    for (HANDLE h : {write, read, writeOnly, device})
        CloseHandle(h);
    const std::string node = root_.Path() + "/dev/usb/lp0";
    EXPECT_LT(FakeOpen(node.c_str(), O_RDWR | O_NOCTTY), 0);
    int other = -1;
    for (int i = 0; i < 200 && (other = FakeOpen(node.c_str(), O_RDWR | O_NOCTTY)) < 0; ++i)
        Sleep(25);
    EXPECT_GE(other, 0);
    ::close(other);
    // ENODEV from usblp is an unplug: this request and the next fail so.
    device = Open(Path("55AB", kDeviceClass), GENERIC_READ | GENERIC_WRITE);
    g_idErrno = ENODEV;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(DeviceIoControl(device, 0x00220034, nullptr, 0, buffer, sizeof buffer, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    }
    CloseHandle(device);
}

TEST_F(KernelUsb, CancelCloseAndUnplugEndBlockedReads) {
    enum How { kCancel, kClose, kUnplug };
    const std::pair<How, DWORD> cases[] = {{kCancel, ERROR_OPERATION_ABORTED},
                                           {kClose, ERROR_OPERATION_ABORTED},
                                           {kUnplug, ERROR_DEVICE_NOT_CONNECTED}};
    for (const auto& [how, error] : cases) {
        SCOPED_TRACE(how);
        std::string serial = "55AB" + std::to_string(how);
        PtyNode& pty = Plug({how, serial, kId, "0a5f", "1", std::to_string(how + 4)});
        HANDLE read = Open(Path(serial, kPrinterClass) + "\\PIPE01", GENERIC_READ);
        ASSERT_NE(read, INVALID_HANDLE_VALUE);
        EXPECT_EQ(orbis::platformtest::EndBlockedRead(read,
                                                      [&, how = how] {
                                                          if (how == kCancel) CancelIo(read);
                                                          if (how == kClose) CloseHandle(read);
                                                          if (how == kUnplug) Unplug(how);
                                                      }),
                  error);
        DWORD n = 0;
        char buffer[8];
        if (how == kCancel) { // the cancelled read has really left: the next bytes go to the next read
            pty.Send("xy");
            ASSERT_TRUE(ReadFile(read, buffer, sizeof buffer, &n, nullptr));
            EXPECT_EQ(std::string(buffer, n), "xy");
        } else if (how == kUnplug) { // the device ID too, and the next open
            EXPECT_FALSE(DeviceIoControl(read, 0x00220034, nullptr, 0, buffer, sizeof buffer, &n, nullptr));
            EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
            EXPECT_EQ(Open(Path(serial, kPrinterClass) + "\\PIPE01", GENERIC_READ), INVALID_HANDLE_VALUE);
        }
        if (how != kClose) CloseHandle(read);
    }
}

TEST_F(KernelUsb, LibraryTalksToThePrinterOnItsUsbPort) {
    const std::string id = orbis::sim::MakeDeviceId("VNPAP", "Orbis LP 2200");
    // Each family finds the serial its own way (the path, or "DeviceInstance"); re-plugged, a
    // printer keeps its port, and one without a serial takes the next.
    const std::tuple<const char*, std::optional<std::string>, const char*> cases[] = {
        {"95", "55AB", "USB001"}, {"NT", "55AB", "USB001"}, {"95", {}, "USB002"}, {"NT", {}, "USB002"}};
    int lp = 0;
    for (const auto& [family, serial, port] : cases) {
        SCOPED_TRACE(std::string(family) + " " + port);
        setenv("ORBIS_WINDOWS_FAMILY", family, 1);
        Plug({lp, serial, id, "0a5f", std::to_string(lp + 1)});
        RefreshHostEntriesForTesting();
        ASSERT_EQ(DvcOpenPort(port), DVC_OK);
        EXPECT_EQ(std::string(G_szDevicePath),
                  Path(serial.value_or("Inst_" + std::to_string(lp + 1) + "&4"), kDeviceClass));
        EXPECT_EQ(DvcClosePort(port), DVC_OK);
        DvcShutdown();
        G_bInitialized = false;
        Unplug(lp++);
    }
    unsetenv("ORBIS_WINDOWS_FAMILY");
    // No CUPS queue: the family's printer has its spooler entry all the same, a foreign one none.
    Plug({8, "F00", "MFG:Other;MDL:Foreign 1;", "0a5f", "8"});
    Plug({9, "77CD", kId, "0a5f", "9"});
    g_refused = root_.Path() + "/dev/usb/lp9";
    RefreshHostEntriesForTesting();
    EXPECT_EQ(orbis::platformtest::SpoolerPorts(),
              std::vector<std::string>({"Orbis LP 2200 PCL (USB004)=USB004"}));
    // A node the user may not open (not in the lp group): the open fails and the cause names it.
    DvcInit();
    EXPECT_EQ(DvcOpenPort("USB004"), DVC_FAIL);
    EXPECT_EQ(HostDeviceProblem(),
              "permission denied on " + g_refused + ": add your user to the lp group and log in again");
    // A node another program has open (a print job) is refused by usblp, and said so.
    const std::string node = std::exchange(g_refused, "");
    int job = FakeOpen(node.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(job, 0);
    EXPECT_EQ(DvcOpenPort("USB004"), DVC_FAIL);
    EXPECT_EQ(HostDeviceProblem(),
              node + " is in use by another program (a print job?): try again when it is done");
    ::close(job);
    DvcShutdown();
    G_bInitialized = false;
}

} // namespace
