// The printer program as a whole: what it writes into the registry while
// attached and removes on exit, its settings memory across restarts, and its
// command line.
#include "sim_process.h"

#include "win32.h"

#include <gtest/gtest.h>

#include <string>

using orbis::test::SimProcess;
using orbis::test::TempRoot;

namespace {

const char kInstance[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\"
    "##?#usb#vid_1a2b&pid_0c1d#SN42#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kDeviceInstance[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
    "\\##?#usb#vid_1a2b&pid_0c1d#SN42#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const char kPrinters[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\";

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

} // namespace

TEST(PrinterProgram, AttachWritesWhatWindowsHoldsAndDetachRemovesTheDevice) {
    TempRoot root;
    ::setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    const std::string office = std::string(kPrinters) + "Office (USB003)", m = "<missing>";
    const std::string link = "\\\\?\\usb#vid_1a2b&pid_0c1d#SN42#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    const struct Entry {
        std::string key;
        const char* value;
        std::string attached, detached; // the installed printer stays in the spooler
    } entries[] = {
        {office, "Name", "Office (USB003)", "Office (USB003)"},
        {office, "Printer Driver", "ORBIS LP 2200 PS", "ORBIS LP 2200 PS"},
        {office, "Port", "USB003", "USB003"},
        {std::string(kPrinters) + "Office (LPT2)", "Port", "LPT2", "LPT2"},
        {std::string(kInstance) + "\\#\\Device Parameters", "Port Number", "3", m},
        {std::string(kInstance) + "\\#\\Control", "Linked", "1", m},
        {std::string(kInstance) + "\\#", "SymbolicLink", link, m},
        {kInstance, "DeviceInstance", "USB\\VID_1A2B&PID_0C1D\\SN42", m},
        {kDeviceInstance, "DeviceInstance", "USB\\VID_1A2B&PID_0C1D\\SN42", m},
    };
    SimProcess sim(root.Path(), {"--usb", "3", "--lpt", "2", "--serial", "SN42", "--name", "Office",
                                 "--driver", "ORBIS LP 2200 PS"});
    ASSERT_TRUE(sim.Ready());
    for (const auto& e : entries)
        EXPECT_EQ(Read(e.key, e.value), e.attached) << e.key << " " << e.value;
    EXPECT_EQ(sim.Stop(), 0);
    for (const auto& e : entries)
        EXPECT_EQ(Read(e.key, e.value), e.detached) << e.key << " " << e.value;
}

TEST(PrinterProgram, AppliedValuesSurviveARestart) {
    const std::string start("\xA5\x00\x10\x80\xA4\x5B\xA4\x5B\x10\xEF\xA4\x5B\x11\xEE\x00\xFF\x13\xEC\x2E",
                            19);
    const std::string write = start + std::string("\xA5\x00\x07\x40\xE0\xE7\x31\x01\x12\x03", 10);
    const std::string query = start + std::string("\xA5\x00\x07\x50\xE0\xE7\x20\x01\x01\x12", 10);
    auto exchange = [&](const std::string& bytes, bool expectReply) {
        HANDLE port =
            CreateFileA("LPT1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(port, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        EXPECT_TRUE(WriteFile(port, bytes.data(), DWORD(bytes.size()), &n, nullptr));
        char reply[64] = {};
        COMMTIMEOUTS t = {0, 0, expectReply ? 3000u : 200u, 0, 0};
        SetCommTimeouts(port, &t);
        ReadFile(port, reply, 11, &n, nullptr);
        CloseHandle(port);
        return std::string(reply, n);
    };
    // Stopped, or killed so that its socket is left behind for the next start to take over.
    for (bool kill : {false, true}) {
        TempRoot root;
        ::setenv("ORBIS_ROOT", root.Path().c_str(), 1);
        {
            SimProcess sim(root.Path(), {"--lpt", "1"});
            ASSERT_TRUE(sim.Ready());
            EXPECT_EQ(exchange(query, true), std::string("\xA5\x00\x08\x10\xE0\xE7\x20\x01\x12\x01\x1A", 11));
            EXPECT_EQ(exchange(write, false), "");
            if (kill) sim.Kill();
        }
        SimProcess restarted(root.Path(), {"--lpt", "1"});
        ASSERT_TRUE(restarted.Ready()) << "kill " << kill;
        EXPECT_EQ(exchange(query, true), std::string("\xA5\x00\x08\x10\xE0\xE7\x20\x01\x12\x01\x03", 11))
            << "kill " << kill;
    }
}

TEST(PrinterProgram, CommandLineMistakesAreReportedNotServed) {
    TempRoot root;
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"--help"}, 0},
        {{}, 2}, // no port to serve
        {{"--lpt", "1", "--npa-mode", "sometimes"}, 2},
        {{"--lpt", "1", "--marker", "HP"}, 2},
        {{"--usb", "1", "--pieces", "4,0"}, 2},
        {{"--lpt"}, 2},
        {{"--frobnicate"}, 2},
    };
    for (const auto& [args, status] : cases) {
        SimProcess sim(root.Path(), args);
        EXPECT_FALSE(sim.Ready()) << ::testing::PrintToString(args);
        EXPECT_EQ(sim.Stop(), status) << ::testing::PrintToString(args);
    }
}
