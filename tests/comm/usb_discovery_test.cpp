// Opening a USB port: from the spooler's port name through the registry and
// the present devices to the printer's device path, on both Windows families.
#include "support/comm_env.h"
#include "support/usb_fake_printer.h"

#include "usb_internal.h"

#include <gtest/gtest.h>

#include <map>

using namespace commtest;

namespace {

const char kLaser[] = "MFG:Vantrel;CMD:PCL,VNPAP;MODEL:Laser 10 Plus;";

std::string Instance(const std::string& serial) {
    return "USB\\VID_0A5F&PID_0042\\" + serial;
}

struct World {
    TestWorld world;
    std::map<std::string, std::shared_ptr<FakeUsbPrinter>> printers; // by serial

    explicit World(bool nt) {
        WriteBytes(world.root() + "/windows-family", nt ? Bytes{'N', 'T'} : Bytes{'9', '5'});
        SetLoggingLevel(DVC_LOG_ENTRY | DVC_LOG_STEPS);
    }
    // A present printer whose spooler port is `port` (0: none in the registry).
    std::shared_ptr<FakeUsbPrinter> Plug(const std::string& serial, const std::string& deviceId, DWORD port,
                                         DWORD linked = 1) {
        auto printer = FakeUsbPrinter::Attach(DevicePath(serial), deviceId);
        printers[serial] = printer;
        if (port) AddPrinterInterface(DevicePath(serial), port, linked, Instance(serial));
        return printer;
    }
};

TEST(UsbDiscovery, SpoolerPortFindsItsPrinter) {
    std::string bigId = "MFG:Vantrel;CMD:VNPAP;MODEL:Big One;";
    bigId += std::string(4096 - bigId.size(), 'x');
    struct Plugged {
        std::string serial, deviceId;
        DWORD port, linked = 1;
    };
    struct Case {
        const char* name;
        bool nt;
        std::vector<Plugged> plugged;
        int devices; // that many more printers "N<i>", only the last on port 1
        const char* port;
        int result;
        std::string serial; // of the printer that must be chosen
        std::string logged; // a line the open must log
    } cases[] = {
        // clang-format off
        {"USB001", false, {{"55AB", kLaser, 1}}, 0, "USB001", DVC_OK, "55AB",
         "szPortName=usb-laser_10_plus(55ab)"},
        {"USB1 is port 1", false, {{"55AB", kLaser, 1}}, 0, "USB1", DVC_OK, "55AB", ""},
        {"NT family reads the serial from the path", true, {{"55AB", kLaser, 1}}, 0, "USB001", DVC_OK, "55AB",
         "szPortName=usb-laser_10_plus(55ab)"},
        {"port not in the registry", false, {{"55AB", kLaser, 1}}, 0, "USB002", DVC_FAIL, "",
         "UsbGetSymbolicNameFromRegistry(): sysPortName:USB002 returning API_FAIL"},
        {"only the linked instance counts", false, {{"A1", kLaser, 1, 0}, {"B2", kLaser, 1}}, 0, "USB001",
         DVC_OK, "B2", ""},
        {"other port numbers are passed over", false, {{"A1", kLaser, 2}, {"B2", kLaser, 1}}, 0, "USB001",
         DVC_OK, "B2", ""},
        {"empty serial (NT): no parentheses", true, {{"", kLaser, 1}}, 0, "USB001", DVC_OK, "",
         "szPortName=usb-laser_10_plus"},
        {"empty serial (95): no parentheses", false, {{"", kLaser, 1}}, 0, "USB001", DVC_OK, "",
         "szPortName=usb-laser_10_plus"},
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
        {"write pipe does not open", false, {{"S1", kLaser, 1}}, -1, "USB001", DVC_FAIL, "",
         "DvcOpenPort(USB) - port USB001 not found"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        World w(c.nt);
        for (const auto& p : c.plugged)
            w.Plug(p.serial, p.deviceId, p.port, p.linked);
        for (int i = 0; i < c.devices; ++i)
            w.Plug("N" + std::to_string(i), kLaser, i == c.devices - 1 ? 1 : 0);
        if (c.devices < 0) w.printers["S1"]->SetPipeOpens(false, true);
        if (c.plugged.empty() && !c.devices)
            AddPrinterInterface(DevicePath("S1"), 1, 1, "x"); // registry only
        ASSERT_EQ(DvcOpenPort(c.port), c.result);
        if (c.result == DVC_OK) {
            EXPECT_STREQ(G_szPortName, c.port);
            EXPECT_EQ(std::string(G_szDevicePath), DevicePath(c.serial));
            EXPECT_EQ(G_NpaMode, NPA_AUTO);
            EXPECT_EQ(G_hPort, INVALID_HANDLE_VALUE);
            EXPECT_NE(std::string(G_szDeviceId).find("MODEL:"), std::string::npos);
            // Proving the port opens the write pipe once.
            EXPECT_EQ(w.printers[c.serial]->WritePipeOpens(), 1);
        } else {
            EXPECT_STREQ(G_szPortName, "");
        }
        if (!c.logged.empty()) {
            EXPECT_TRUE(Logged(c.logged)) << c.logged;
        }
        for (auto& [serial, printer] : w.printers)
            EXPECT_EQ(printer->ReadPipeOpens(), 0); // no read pipe is opened
    }
}

TEST(UsbDiscovery, WritePipeGetsTwoAttempts) {
    World w(false);
    auto printer = w.Plug("S1", kLaser, 1);
    printer->SetPipeOpens(false, false);
    EXPECT_EQ(DvcOpenPort("USB001"), DVC_FAIL);
    EXPECT_EQ(printer->WritePipeOpens(), 2);
    EXPECT_EQ(OpenUsbHandle(DevicePath("S1").c_str(), "PIPE01"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(printer->ReadPipeOpens(), 2);
}

TEST(UsbDiscovery, DeviceIdsFieldsAndSerialsStayInsideTheirBuffers) {
    World w(false);
    std::string id = "MFG:Vantrel;MODEL:Laser 10 Plus;";
    std::string full = id + std::string(4096 - id.size(), 'z');
    w.Plug("S1", full, 0);
    for (DWORD capacity : {4096, 40}) {
        std::vector<char> out(capacity + 8, '#');
        DWORD length = 0;
        GetUsbDeviceIdString(DevicePath("S1").c_str(), out.data(), capacity, &length);
        EXPECT_EQ(length, capacity);
        EXPECT_EQ(std::string(out.data()), full.substr(0, capacity - 1));
        EXPECT_EQ(out[capacity], '#'); // nothing written past the buffer
    }

    struct FieldCase {
        const char* deviceId;
        DWORD capacity;
        int result;
        std::string value;
        DWORD length; // capacity after the call
    } fieldCases[] = {
        {"MFG:V;MODEL:Laser 10 Plus;CMD:X;", 128, 0, "Laser 10 Plus", 128},
        {"MFG:V;MODEL:Laser 10 Plus;CMD:X;", 5, 0, "Laser", 13},
        {"MFG:V;MODEL:Last", 128, 0, "Last", 128},
        {"MFG:V;CMD:X;", 128, 1, "", 128},
    };
    for (const auto& c : fieldCases) {
        SCOPED_TRACE(c.deviceId);
        std::vector<char> out(c.capacity + 8, '#');
        out[0] = '\0';
        DWORD capacity = c.capacity;
        EXPECT_EQ(GetDeviceIdField(c.deviceId, "MODEL", out.data(), &capacity), c.result);
        EXPECT_EQ(std::string(out.data()), c.value);
        EXPECT_EQ(capacity, c.length);
        EXPECT_EQ(out[c.capacity + 1], '#');
    }

    AddPrinterInterface(DevicePath("LONG"), 9, 1, Instance(std::string(25, 'L')));
    AddPrinterInterface(DevicePath("INST"), 9, 1, "USB\\VID_0A5F&PID_0042\\Inst_0");
    AddPrinterInterface(DevicePath("S1"), 9, 1, Instance("S1"));
    struct SerialCase {
        int osKind;
        std::string name;
        std::string serial;
    } serialCases[] = {
        {2, "\\\\?\\usb#vid_1&pid_2#ABC#{x}", "ABC"},
        {2, "\\\\?\\USB#Vid_1&Pid_2#ABC#{x}", "ABC"},
        {2, "\\\\?\\usb#vid_1&pid_2#" + std::string(40, 'Q') + "#{x}", std::string(23, 'Q')},
        {2, "\\\\?\\usb#vid_1&pid_2#inst_0#{x}", ""},
        {2, "\\\\?\\usb#vid_1&pid_2#ABC#Inst_0#{x}", ""},
        {2, "\\\\?\\usb#vid_1&pi_2#ABC#{x}", ""},
        {2, "\\\\?\\usb#vid_1&pid_2", ""},
        {1, DevicePath("S1"), "S1"},
        {1, DevicePath("INST"), ""},
        {1, DevicePath("LONG"), std::string(23, 'L')},
    };
    for (const auto& c : serialCases) {
        SCOPED_TRACE(c.name);
        G_OsKind = c.osKind;
        std::vector<char> out(24 + 8, '#');
        uint16_t length = 99;
        GetUsbSerialNumber(c.name.c_str(), out.data(), 24, &length);
        EXPECT_EQ(std::string(out.data()), c.serial);
        EXPECT_EQ(length, c.serial.size());
        EXPECT_EQ(out[24], '#');
    }
}

} // namespace
