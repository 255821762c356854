// Printers CUPS has, seen as the spooler's entries: device URIs turned into
// ports on an in-memory hive, then a real scheduler of the test's own.
#include "support/private_cupsd.h"
#include "support/pty_node.h"
#include "support/setupapi_listing.h"
#include "support/temp_root.h"

#include "platform/host/host_devices.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <unistd.h>

namespace orbis::platformtest {
namespace {

const char kAbsent[] = "<absent>";
const char kDriver[] = "Orbis LP 2200 PCL";

TEST(CupsPorts, DeviceUrisBecomeSpoolerPorts) {
    // As CUPS names them: the manufacturer taken off the model, Hewlett-Packard as HP.
    std::vector<platform::KernelUsbPrinter> usb(2);
    usb[0].deviceId = "MFG:Vantrel;CMD:PJL,NPAP;MDL:Vantrel Orbis LP 2200;CLS:PRINTER;";
    usb[0].portKey = "K1";
    usb[0].node = "/dev/usb/lp0";
    usb[1].deviceId = "MANUFACTURER:Hewlett-Packard;MODEL:HP LaserJet 1020;";
    usb[1].portKey = "K2";
    struct Case {
        const char* uri;
        const char* port;   // kAbsent: no spooler entry
        const char* usbKey; // the port key the USB00n is kept under
    } cases[] = {
        {"usb://Vantrel/Orbis%20LP%202200?serial=55AB", "USB001", "55AB"},
        {"usb://Vantrel/Orbis%20LP%202200?interface=1&serial=A%2fB%25", "USB001", "A/B%"},
        {"usb://Vantrel/Orbis%20LP%202200", "USB001", "K1"}, // the present printer of that model
        {"usb://Vantrel/Orbis%20LP%202200?interface=1", "USB001", "K1"},
        {"usb://Vantrel/Orbis%20LP%202200?serial=55AB&interface=1", "USB001", "55AB"},
        {"usb://Vantrel/Orbis%20LP%202200?serial=?", "USB001", "K1"},
        {"usb://HP/LaserJet%201020", "USB001", "K2"},
        {"usb:/dev/usb/lp0", "USB001", "K1"}, // the old backend's form: the printer on that node
        {"usb:/dev/usb/lp1", kAbsent, nullptr},
        {"usb://Other/Model%20X", "USB001", "Other/Model X"},
        {"parallel:/dev/lp0", "LPT1", nullptr},
        {"PARALLEL:/dev/lp1", "LPT2", nullptr},
        {"parallel:/dev/parport2", "LPT3", nullptr},
        {"parallel:///dev/lp3", "LPT4", nullptr},
        {"parallel:/dev/usb/lp0", kAbsent, nullptr},
        {"parallel:/dev/lpx", kAbsent, nullptr},
        {"usb://", kAbsent, nullptr},
        {"usb://Vantrel", kAbsent, nullptr},
        {"ipp://192.0.2.1/ipp/print", kAbsent, nullptr},
        {"socket://192.0.2.1:9100", kAbsent, nullptr},
        {"file:///dev/null", kAbsent, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri);
        platform::Hive hive;
        bool changed = false, again = false;
        platform::ApplyCupsPrinters(hive, {{"q", kDriver, c.uri}}, usb, &changed);
        platform::ApplyCupsPrinters(hive, {{"q", kDriver, c.uri}}, usb, &again);
        platform::RegKey* key =
            hive.Find("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\q");
        platform::RegValue* port = key ? key->FindValue("Port") : nullptr;
        EXPECT_EQ(port ? std::string(port->data.begin(), port->data.end() - 1) : kAbsent, c.port);
        EXPECT_EQ(changed, port != nullptr);
        EXPECT_FALSE(again) << "nothing new from CUPS";
        if (c.usbKey) {
            EXPECT_TRUE(hive.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orbis\\HostUsbPorts")->FindValue(c.usbKey));
        }
    }
}

TEST(CupsQuery, ServerThatNeverAnswersIsGivenUpAfterTheTimeOut) {
    TempRoot root;
    int silent = ListenSilently(root.Path() + "/silent.sock");
    ASSERT_GE(silent, 0);
    struct Case {
        std::string server;
        int timeoutMs, atLeastMs; // a silent server is waited for, a missing one is not
        bool answered = false;    // an empty list rather than "out of reach"
    } cases[] = {{root.Path() + "/silent.sock", 1500, 1500},
                 {root.Path() + "/no-such.sock", 600, 0},
                 // another machine's queues are no local ports: it is not even asked
                 {"192.0.2.1", 600, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        platform::HostSources sources;
        sources.cupsServer = c.server;
        sources.cupsTimeoutMs = c.timeoutMs;
        auto start = std::chrono::steady_clock::now();
        auto printers = platform::QueryCupsPrinters(sources);
        EXPECT_EQ(printers.has_value(), c.answered);
        EXPECT_TRUE(!printers || printers->empty());
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(ms.count(), c.timeoutMs + 5000) << "held past the time-out";
        EXPECT_GE(ms.count(), c.atLeastMs) << "given up before the time-out";
    }
    close(silent);
    // A time-out in sources.ini that is no number of milliseconds up to a minute
    // is refused and the default kept: a wrapped one held listings for days.
    const std::pair<const char*, int> timeouts[] = {
        {"99999999999", 2000}, {"4294967296", 2000}, {"60001", 2000}, {"-5", 2000},
        {"12abc", 2000},       {"0", 2000},          {"1500", 1500},  {"60000", 60000},
    };
    for (const auto& [text, used] : timeouts) {
        root.WriteFile("sources.ini",
                       "[Cups]\nServer=" + root.Path() + "/silent.sock\nTimeoutMs=" + text + "\n");
        EXPECT_EQ(platform::CurrentHostSources().cupsTimeoutMs, used) << text;
    }
    root.WriteFile("sources.ini", "[Cups]\nPort=70000\n");
    EXPECT_EQ(platform::CurrentHostSources().cupsPort, 631);
}

TEST(CupsSpooler, EntriesFollowTheQueues) {
    if (!PrivateCupsd::Installed()) GTEST_SKIP() << "cupsd is not installed";
    TempRoot root;
    PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.Running()) << cupsd.Diagnostics();
    const std::pair<const char*, const char*> queues[] = {
        {"office", "usb://Vantrel/Orbis%20LP%202200?serial=55AB"},
        {"back", "parallel:/dev/lp0"},
        {"hand", "parallel:/dev/lp1"},
        {"moved", "parallel:/dev/lp2"},
        {"net", "ipp://192.0.2.1/ipp/print"}};
    for (const auto& [name, uri] : queues)
        ASSERT_TRUE(cupsd.AddPrinter(name, uri, kDriver)) << cupsd.Diagnostics();
    // Entries of others (no mark, or another source's) stay as they are; CUPS's own follow its queues.
    const char* entries[][3] = {{"hand", "USB009", nullptr},
                                {"sim", "LPT2", "simulated"},
                                {"stale", "LPT1", "cups"},
                                {"moved", "LPT1", "cups"}};
    for (const auto& [name, port, source] : entries) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(
                      HKEY_LOCAL_MACHINE,
                      (std::string("System\\CurrentControlSet\\Control\\Print\\Printers\\") + name).c_str(),
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(port), DWORD(strlen(port) + 1));
        if (source)
            RegSetValueExA(key, platform::kHostSourceValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(source),
                           DWORD(strlen(source) + 1));
        RegCloseKey(key);
    }
    const std::string sources =
        "[Sources]\nSimulated=yes\nKernel=no\nCups=yes\n[Cups]\nTimeoutMs=3000\nServer=";
    root.WriteFile("sources.ini", sources + cupsd.Socket() + "\n");
    unsetenv("ORBIS_SOURCES");
    platform::RefreshHostEntriesForTesting();
    const std::vector<std::string> ports = {"back=LPT1", "hand=USB009", "moved=LPT3", "office=USB001",
                                            "sim=LPT2"};
    EXPECT_EQ(SpoolerPorts(), ports);
    EXPECT_EQ(
        SpoolerPorts("Printer Driver"),
        std::vector<std::string>({"back=" + std::string(kDriver), "hand=", "moved=" + std::string(kDriver),
                                  "office=" + std::string(kDriver), "sim="}));
    EXPECT_EQ(SpoolerPorts("Name"),
              std::vector<std::string>({"back=back", "hand=", "moved=moved", "office=office", "sim="}));

    // Out of reach, CUPS still has its queues set up: their entries stay.
    root.WriteFile("sources.ini", sources + root.Path() + "/no-such.sock\n");
    platform::RefreshHostEntriesForTesting();
    EXPECT_EQ(SpoolerPorts(), ports);
    // A queue no longer on a local port loses its entry.
    ASSERT_TRUE(cupsd.AddPrinter("office", "ipp://192.0.2.2/ipp/print", kDriver)) << cupsd.Diagnostics();
    root.WriteFile("sources.ini", sources + cupsd.Socket() + "\n");
    platform::RefreshHostEntriesForTesting();
    EXPECT_EQ(SpoolerPorts(),
              std::vector<std::string>({"back=LPT1", "hand=USB009", "moved=LPT3", "sim=LPT2"}));
    setenv("ORBIS_SOURCES", "simulated", 1);
}

} // namespace
} // namespace orbis::platformtest
