// The printer program as a whole: what it writes into the registry while attached and removes on exit,
// its settings memory across restarts, and its command line.
#include "sim_process.h"

#include "win32.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace orbis::test;

namespace {

// The value as text (strings) or decimal (DWORDs); "<missing>" when the key or value is absent.
std::string Read(const std::string& key, const char* value) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<missing>";
    BYTE data[512] = {};
    DWORD type = 0, size = sizeof data;
    LONG rc = RegQueryValueExA(h, value, nullptr, &type, data, &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) return "<missing>";
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
    return std::string(reinterpret_cast<char*>(data));
}

// Writes commands to LPT2 and reads the 11-byte reply, waiting up to 3 s for it.
std::string Exchange(const std::string& bytes) {
    HANDLE port = CreateFileA("LPT2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(port, bytes.data(), DWORD(bytes.size()), &n, nullptr));
    char reply[11] = {};
    COMMTIMEOUTS t = {0, 0, 3000, 0, 0};
    SetCommTimeouts(port, &t);
    EXPECT_TRUE(ReadFile(port, reply, sizeof reply, &n, nullptr));
    CloseHandle(port);
    return std::string(reply, n);
}

} // namespace

TEST(PrinterProgram, AttachWritesWhatWindowsHoldsDetachRemovesTheDeviceAndSettingsSurvive) {
    const std::string iface = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", sn = "#usb#vid_1a2b&pid_0c1d#SN42#";
    const std::string device = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}", dev = "USB\\VID_1A2B&PID_0C1D\\SN42";
    const std::string classes = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
    const std::string instance = classes + iface + "\\##?" + sn + iface;
    const std::string printers = "System\\CurrentControlSet\\Control\\Print\\Printers\\Office ";
    // key, value, its data while attached, whether it stays on detach (the installed printer does)
    const std::tuple<std::string, const char*, std::string, bool> entries[] = {
        {printers + "(USB003)", "Name", "Office (USB003)", true},
        {printers + "(USB003)", "Printer Driver", "ORBIS LP 2200 PS", true},
        {printers + "(USB003)", "Port", "USB003", true},
        {printers + "(LPT2)", "Port", "LPT2", true},
        {instance + "\\#\\Device Parameters", "Port Number", "3", false},
        {instance + "\\#\\Control", "Linked", "1", false},
        {instance + "\\#", "SymbolicLink", "\\\\?\\" + sn.substr(1) + iface, false},
        {instance, "DeviceInstance", dev, false},
        {classes + device + "\\##?" + sn + device, "DeviceInstance", dev, false},
    };
    // The settings live in a file named after the first port, LPT2; a USB attachment is slow to make.
    const std::vector<std::string> lpt = {"--lpt", "2"},
                                   all = {"--lpt", "2",      "--usb",  "3",        "--serial",
                                          "SN42",  "--name", "Office", "--driver", "ORBIS LP 2200 PS"};
    const std::string start("\xA5\x00\x10\x80\xA4\x5B\xA4\x5B\x10\xEF\xA4\x5B\x11\xEE\x00\xFF\x13\xEC\x2E",
                            19);
    const std::string query = start + std::string("\xA5\x00\x07\x50\xE0\xE7\x20\x01\x01\x12", 10);
    const std::string reply("\xA5\x00\x08\x10\xE0\xE7\x20\x01\x12\x01", 10);                  // and the value
    const std::string write = start + std::string("\xA5\x00\x07\x40\xE0\xE7\x31\x01\x12", 9); // and the value
    TempRoot root;
    ::setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    {
        SimProcess sim(root.Path(), all);
        ASSERT_TRUE(sim.Ready());
        for (const auto& [key, value, data, stays] : entries)
            EXPECT_EQ(Read(key, value), data) << key << " " << value;
        EXPECT_EQ(Exchange(query), reply + '\x1A');
        EXPECT_EQ(Exchange(write + '\x03' + query), reply + '\x03');
        EXPECT_EQ(sim.Stop(), 0);
        for (const auto& [key, value, data, stays] : entries)
            EXPECT_EQ(Read(key, value), stays ? data : "<missing>") << key << " " << value;
    }
    // Restarted after the stop, then after a kill that leaves its socket behind for the next start to take.
    for (char kept : {'\x03', '\x02'}) {
        SimProcess sim(root.Path(), lpt);
        ASSERT_TRUE(sim.Ready());
        EXPECT_EQ(Exchange(query), reply + kept);
        EXPECT_EQ(Exchange(write + '\x02' + query), reply + '\x02');
        sim.Kill();
    }
}

TEST(PrinterProgram, CommandLineMistakesAreReportedNotServed) {
    TempRoot root;
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"--help"}, 0},
        {{}, 2}, // no port to serve
        {{"--lpt", "1", "--npa-mode", "sometimes"}, 2},
        {{"--lpt", "1", "--marker", "HP"}, 2},
        {{"--frobnicate"}, 2},
    };
    for (const auto& [args, status] : cases) {
        SimProcess sim(root.Path(), args);
        EXPECT_FALSE(sim.Ready()) << ::testing::PrintToString(args);
        EXPECT_EQ(sim.Stop(), status) << ::testing::PrintToString(args);
    }
}
