// Printers CUPS has, seen as the spooler's entries: device URIs turned into
// ports on an in-memory hive, then a real scheduler of the test's own.
#include "support/private_cupsd.h"
#include "support/temp_root.h"

#include "platform/host/host_devices.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orbis::platformtest {
namespace {

using platform::CupsPrinter;
using platform::Hive;
using platform::KernelUsbPrinter;

const char kPrinters[] = "System\\CurrentControlSet\\Control\\Print\\Printers";
const char kHivePrinters[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\";
const char kHivePorts[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orbis\\HostUsbPorts";
const char kAbsent[] = "<absent>";
const char kDriver[] = "Orbis LP 2200 PCL";

std::string HiveString(Hive& hive, const std::string& key, const char* name) {
    platform::RegKey* k = hive.Find(key);
    platform::RegValue* v = k ? k->FindValue(name) : nullptr;
    if (!v) return kAbsent;
    return std::string(v->data.begin(), v->data.end()).c_str();
}

void HiveSet(Hive& hive, const std::string& name, const std::string& port, const char* source) {
    bool created = false;
    platform::RegKey& key = hive.Create(kHivePrinters + name, &created);
    auto add = [&](const char* value, const std::string& text) {
        std::vector<BYTE> data(text.begin(), text.end());
        data.push_back(0);
        key.values.push_back({value, REG_SZ, data});
    };
    add("Name", name);
    add("Port", port);
    if (source) add(platform::kHostSourceValue, source);
}

TEST(CupsPorts, DeviceUrisBecomeSpoolerPorts) {
    // As CUPS names them: the manufacturer taken off the model, Hewlett-Packard as HP.
    std::vector<KernelUsbPrinter> usb(2);
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
        Hive hive;
        bool changed = false;
        platform::ApplyCupsPrinters(hive, {{"q", kDriver, c.uri}}, usb, &changed);
        EXPECT_EQ(HiveString(hive, std::string(kHivePrinters) + "q", "Port"), c.port);
        EXPECT_EQ(changed, std::string(c.port) != kAbsent);
        if (c.usbKey) {
            EXPECT_TRUE(hive.Find(kHivePorts)->FindValue(c.usbKey));
        }
    }
}

TEST(CupsPorts, OnlyEntriesMarkedAsCupsAreChangedOrRemoved) {
    Hive hive;
    HiveSet(hive, "sim", "LPT2", "simulated");
    HiveSet(hive, "hand", "USB009", nullptr);
    HiveSet(hive, "stale", "LPT1", "cups");
    HiveSet(hive, "moved", "LPT1", "cups");
    std::vector<CupsPrinter> cups = {{"office", kDriver, "usb://Vantrel/Orbis%20LP%202200?serial=55AB"},
                                     {"hand", kDriver, "parallel:/dev/lp0"},
                                     {"sim", kDriver, "parallel:/dev/lp0"},
                                     {"moved", kDriver, "parallel:/dev/lp2"}};
    bool changed = false;
    platform::ApplyCupsPrinters(hive, cups, {}, &changed);
    EXPECT_TRUE(changed);

    struct Row {
        const char* name;
        const char* port;
        const char* driver;
        const char* source;
    } rows[] = {
        {"office", "USB001", kDriver, "cups"}, {"moved", "LPT3", kDriver, "cups"},
        {"sim", "LPT2", kAbsent, "simulated"}, {"hand", "USB009", kAbsent, kAbsent},
        {"stale", kAbsent, kAbsent, kAbsent},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string key = std::string(kHivePrinters) + r.name;
        EXPECT_EQ(HiveString(hive, key, "Port"), r.port);
        EXPECT_EQ(HiveString(hive, key, "Printer Driver"), r.driver);
        EXPECT_EQ(HiveString(hive, key, platform::kHostSourceValue), r.source);
    }

    changed = false;
    platform::ApplyCupsPrinters(hive, cups, {}, &changed);
    EXPECT_FALSE(changed) << "nothing new from CUPS";

    cups[0].deviceUri = "ipp://192.0.2.1/ipp/print"; // a queue no longer on a local port
    platform::ApplyCupsPrinters(hive, cups, {}, &changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ(hive.Find(std::string(kHivePrinters) + "office"), nullptr);
}

TEST(CupsQuery, ServerThatNeverAnswersIsGivenUpAfterTheTimeOut) {
    TempRoot root;
    SilentServer silent(root.Path() + "/silent.sock");
    ASSERT_TRUE(silent.Listening());
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
    root.WriteFile("sources.ini", "[Cups]\nServer=" + root.Path() + "/silent.sock\nTimeoutMs=99999999999\n");
    ASSERT_LE(platform::CurrentHostSources().cupsTimeoutMs, 60000); // else the query below would hang
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::QueryCupsPrinters(platform::CurrentHostSources()).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(7)) << "held past the time-out";
}

// One scheduler for every case below; each case has its own root and queues.
class CupsSpooler : public ::testing::Test {
  protected:
    static void TearDownTestSuite() { cupsd_.reset(); }

    void SetUp() override {
        if (!PrivateCupsd::Installed()) GTEST_SKIP() << "cupsd is not installed";
        if (!cupsd_) cupsd_ = std::make_unique<PrivateCupsd>();
        ASSERT_TRUE(cupsd_->Running()) << cupsd_->Diagnostics();
        if (const char* sources = std::getenv("ORBIS_SOURCES")) savedSources_ = sources, hadSources_ = true;
        unsetenv("ORBIS_SOURCES");
        UseServer(cupsd_->Socket());
    }

    void TearDown() override {
        for (const auto& name : queues_)
            cupsd_->DeletePrinter(name);
        if (hadSources_) setenv("ORBIS_SOURCES", savedSources_.c_str(), 1);
    }

    void UseServer(const std::string& server) {
        root_.WriteFile("sources.ini", "[Sources]\nSimulated=yes\nKernel=no\nCups=yes\n[Cups]\nServer=" +
                                           server + "\nTimeoutMs=3000\n");
    }

    void AddQueue(const std::string& name, const std::string& uri) {
        ASSERT_TRUE(cupsd_->AddPrinter(name, uri, kDriver)) << cupsd_->Diagnostics();
        queues_.push_back(name);
    }

    static void WriteEntry(const std::string& name, const std::string& port, const char* source) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPrinters) + "\\" + name).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        auto set = [&](const char* value, const std::string& text) {
            RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           DWORD(text.size() + 1));
        };
        set("Name", name);
        set("Printer Driver", kDriver);
        set("Port", port);
        if (source) set(platform::kHostSourceValue, source);
        RegCloseKey(key);
    }

    static std::string Value(const std::string& name, const char* value) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPrinters) + "\\" + name).c_str(), 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return kAbsent;
        char buffer[256] = {};
        DWORD size = sizeof buffer, type = 0;
        LONG rc = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? buffer : kAbsent;
    }

    static std::unique_ptr<PrivateCupsd> cupsd_;
    TempRoot root_;
    std::vector<std::string> queues_;
    std::string savedSources_;
    bool hadSources_ = false;
};

std::unique_ptr<PrivateCupsd> CupsSpooler::cupsd_;

TEST_F(CupsSpooler, EntriesFollowTheQueues) {
    AddQueue("office", "usb://Vantrel/Orbis%20LP%202200?serial=55AB");
    AddQueue("back", "parallel:/dev/lp0");
    AddQueue("net", "ipp://192.0.2.1/ipp/print");
    WriteEntry("Orbis LP 2200 PCL", "LPT2", "simulated");
    WriteEntry("hand", "USB009", nullptr);

    struct Row {
        const char* name;
        const char* port; // kAbsent: no entry
        const char* source;
    };
    auto check = [&](const char* step, std::initializer_list<Row> rows) {
        SCOPED_TRACE(step);
        platform::RefreshHostEntriesForTesting();
        for (const auto& r : rows) {
            SCOPED_TRACE(r.name);
            EXPECT_EQ(Value(r.name, "Port"), r.port);
            EXPECT_EQ(Value(r.name, platform::kHostSourceValue), r.source);
            if (std::string(r.port) != kAbsent) {
                EXPECT_EQ(Value(r.name, "Name"), r.name);
                EXPECT_EQ(Value(r.name, "Printer Driver"), kDriver);
            }
        }
    };
    check("queues added", {{"office", "USB001", "cups"},
                           {"back", "LPT1", "cups"},
                           {"net", kAbsent, kAbsent},
                           {"Orbis LP 2200 PCL", "LPT2", "simulated"},
                           {"hand", "USB009", kAbsent}});

    // Out of reach, CUPS still has its queues set up: their entries stay.
    UseServer(root_.Path() + "/no-such.sock");
    check("server unreachable", {{"back", "LPT1", "cups"}, {"Orbis LP 2200 PCL", "LPT2", "simulated"}});
}

} // namespace
} // namespace orbis::platformtest
