// Opening a USB port: from the spooler's port name through the registry and
// the present devices to the printer's device path, on both Windows families.
#include "support/comm_env.h"
#include "support/fake_printer.h"

#include "orbis_platform.h"
#include "usb_internal.h"

#include <gtest/gtest.h>

#include <map>

using namespace commtest;

namespace {

const char kLaser[] = "MFG:Vantrel;CMD:PCL,VNPAP;MODEL:Laser 10 Plus;";

std::string Instance(const std::string& serial) {
    return "USB\\VID_0A5F&PID_0042\\" + serial;
}

void SetFamily(bool nt) {
    WriteBytes(orbis::platform::Root() + "/windows-family", nt ? Bytes{'N', 'T'} : Bytes{'9', '5'});
}

} // namespace

TEST(UsbDiscovery, SpoolerPortFindsItsPrinter) {
    std::string bigId = "MFG:Vantrel;CMD:VNPAP;MODEL:Big One;";
    bigId += std::string(4096 - bigId.size(), 'x');
    struct Plugged {
        std::string serial, deviceId;
        DWORD port, linked = 1; // port 0: not in the registry
    };
    const struct Case {
        const char* name;
        bool nt;
        std::vector<Plugged> plugged;
        int devices; // that many more printers "N<i>", only the last on port 1; -1: no pipe opens
        const char* port;
        int result;
        std::string serial; // of the printer that must be chosen
        std::string logged; // a line the open must log
    } cases[] = {
        // clang-format off
        {"USB001", false, {{"55AB", kLaser, 1}}, 0, "USB001", DVC_OK, "55AB", "szPortName=usb-laser_10_plus(55ab)"},
        {"USB1 is port 1", false, {{"55AB", kLaser, 1}}, 0, "USB1", DVC_OK, "55AB", ""},
        {"NT family reads the serial from the path", true, {{"55AB", kLaser, 1}}, 0, "USB001", DVC_OK, "55AB",
         "szPortName=usb-laser_10_plus(55ab)"},
        {"port not in the registry", false, {{"55AB", kLaser, 1}}, 0, "USB002", DVC_FAIL, "",
         "UsbGetSymbolicNameFromRegistry(): sysPortName:USB002 returning API_FAIL"},
        {"only the linked instance counts", false, {{"A1", kLaser, 1, 0}, {"B2", kLaser, 1}}, 0, "USB001",
         DVC_OK, "B2", ""},
        {"other port numbers are passed over", false, {{"A1", kLaser, 2}, {"B2", kLaser, 1}}, 0, "USB001",
         DVC_OK, "B2", ""},
        {"empty serial (NT)", true, {{"", kLaser, 1}}, 0, "USB001", DVC_OK, "", "szPortName=usb-laser_10_plus"},
        {"empty serial (95)", false, {{"", kLaser, 1}}, 0, "USB001", DVC_OK, "", "szPortName=usb-laser_10_plus"},
        {"MODEL and serial past the name's 255", true,
         {{std::string(60, '6'), "MFG:Vantrel;MODEL:" + std::string(300, 'M') + ";", 1}}, 0, "USB001", DVC_OK,
         std::string(60, '6'), ""},
        {"device ID of 4096 bytes", false, {{"S1", bigId, 1}}, 0, "USB001", DVC_OK, "S1",
         "szPortName=usb-big_one(s1)"},
        {"serial of 30 characters (NT)", true, {{std::string(30, '7'), kLaser, 1}}, 0, "USB001", DVC_OK,
         std::string(30, '7'), "szPortName=usb-laser_10_plus(777777777777777777777777777777)"},
        {"not a printer of the family", false, {{"S1", "MFG:Other;MODEL:Laser 10 Plus;", 1}}, 0, "USB001",
         DVC_FAIL, "", "not a recognized printer"},
        {"no USB device at all", false, {}, 0, "USB001", DVC_FAIL, "", "DvcOpenPort(USB) - after loop, bFound=false"},
        {"20th device is seen", false, {}, 20, "USB001", DVC_OK, "N19", ""},
        {"21st device is never seen", false, {}, 21, "USB001", DVC_FAIL, "", ""},
        {"write pipe does not open, twice", false, {{"S1", kLaser, 1}}, -1, "USB001", DVC_FAIL, "S1",
         "DvcOpenPort(USB) - port USB001 not found"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        SetFamily(c.nt);
        SetLoggingLevel(DVC_LOG_ENTRY | DVC_LOG_STEPS);
        std::map<std::string, std::shared_ptr<FakePrinter>> printers; // by serial
        auto plug = [&](const std::string& serial, const std::string& deviceId, DWORD port, DWORD linked) {
            printers[serial] = FakePrinter::Attach(DevicePath(serial), deviceId, true);
            if (port) AddPrinterInterface(DevicePath(serial), port, linked, Instance(serial));
        };
        for (const auto& p : c.plugged)
            plug(p.serial, p.deviceId, p.port, p.linked);
        for (int i = 0; i < c.devices; ++i)
            plug("N" + std::to_string(i), kLaser, i == c.devices - 1 ? 1 : 0, 1);
        if (c.devices < 0) printers["S1"]->pipesOpen = false;
        if (c.plugged.empty() && !c.devices)
            AddPrinterInterface(DevicePath("S1"), 1, 1, "x"); // registry only
        ASSERT_EQ(DvcOpenPort(c.port), c.result);
        EXPECT_STREQ(G_szPortName, c.result == DVC_OK ? c.port : "");
        if (c.result == DVC_OK) {
            EXPECT_EQ(std::string(G_szDevicePath), DevicePath(c.serial));
            EXPECT_EQ(G_NpaMode, NPA_AUTO);
            EXPECT_NE(std::string(G_szDeviceId).find("MODEL:"), std::string::npos);
        }
        // Proving the port opens the write pipe once; a pipe that fails to open is tried twice.
        if (!c.serial.empty()) {
            EXPECT_EQ(printers[c.serial]->Opens("PIPE00"), c.devices < 0 ? 2 : 1);
        }
        if (!c.logged.empty()) {
            EXPECT_TRUE(Logged(c.logged)) << c.logged;
        }
        for (auto& [serial, printer] : printers)
            EXPECT_EQ(printer->Opens("PIPE01"), 0); // no read pipe is opened
    }
}

TEST(UsbDiscovery, SerialsStayInsideTheirBuffer) {
    TestWorld world;
    SetFamily(false);
    AddPrinterInterface(DevicePath("LONG"), 9, 1, Instance(std::string(25, 'L')));
    AddPrinterInterface(DevicePath("S1"), 9, 1, Instance("S1"));
    const struct SerialCase {
        bool nt; // from the device path; the 95 family reads it from the device instance
        std::string name;
        std::string serial;
    } serialCases[] = {
        {true, "\\\\?\\USB#Vid_1&Pid_2#ABC#{x}", "ABC"},
        {true, "\\\\?\\usb#vid_1&pid_2#" + std::string(40, 'Q') + "#{x}", std::string(23, 'Q')},
        {true, "\\\\?\\usb#vid_1&pid_2#ABC#Inst_0#{x}", ""},
        {true, "\\\\?\\usb#vid_1&pi_2#ABC#{x}", ""},
        {false, DevicePath("S1"), "S1"},
        {false, DevicePath("LONG"), std::string(23, 'L')},
    };
    for (const auto& c : serialCases) {
        SCOPED_TRACE(c.name);
        G_OsKind = c.nt ? 2 : 1;
        std::vector<char> out(24 + 8, '#');
        uint16_t length = 99;
        GetUsbSerialNumber(c.name.c_str(), out.data(), 24, &length);
        EXPECT_EQ(std::string(out.data()), c.serial);
        EXPECT_EQ(length, c.serial.size());
        EXPECT_EQ(out[24], '#');
    }
}
