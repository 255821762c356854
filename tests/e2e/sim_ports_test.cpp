// The library against a simulated printer process on LPT1 and USB001 of a
// private root: the settings exchange over either port, whatever pieces and
// chains the USB output comes in, and the NT family's write-only parallel port.
#include "support/e2e_env.h"

#include "dvc_internal.h"
#include "npa_exchange.h"

#include <thread>

namespace {

class SimPorts : public E2eTest {
  protected:
    void TearDown() override {
        EndLink();
        E2eTest::TearDown();
    }
    // The next exchange opens its port, loads the catalogue and initialises the library afresh.
    static void EndLink() {
        if (G_szPortName[0]) DvcClosePort(std::string(G_szPortName).c_str());
        DvcShutdown();
        settings_internal::ResetNpaCatalogue();
        G_bInitialized = false;
    }
};

// The pieces and chains a USB line can bring are the library's tables; here one
// plain exchange, one in every piece size and chained, and the printer's faults.
TEST_F(SimPorts, QueryAndApplyOverUsbAsOverParallel) {
    struct Case {
        std::vector<std::string> options;
        int write;
    } cases[] = {
        {{}, 0},
        {{"--chain", "100", "--pieces", "1,7,31,32,random", "--seed", "3"}, 0},
        {{"--refuse-offline"}, kWriteFailed},
        // The alert comes before the reply: the ninth byte 1 still means accepted.
        {{"--alert-first", "--stray", "6", "--pieces", "7"}, 0},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(++round);
        std::vector<std::string> options = {"--lpt", "1", "--usb", "1"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        orbis::test::SimProcess sim(root_.Path(), options);
        ASSERT_TRUE(sim.Ready());
        StringMap parallel, usb, after;
        ASSERT_EQ(QueryPrinterSettings("LPT1", parallel), 0);
        // The USB port replaces the parallel one, as a second printer chosen would.
        ASSERT_EQ(QueryPrinterSettings("USB001", usb), 0);
        EXPECT_GT(usb.size(), 50u);
        EXPECT_EQ(usb, parallel);
        const std::string power = std::to_string(10 + round), name = "Usb" + std::to_string(round) + "Name";
        EXPECT_EQ(WritePrinterSettings("USB001", {"PWRSVR:" + power, "CUST1NAME:" + name}), c.write);
        ASSERT_EQ(QueryPrinterSettings("USB001", after), 0);
        EXPECT_EQ(after["PWRSVR"], c.write ? usb["PWRSVR"] : power);
        EXPECT_EQ(after["CUST1NAME"], c.write ? usb["CUST1NAME"] : name);
        EndLink();
    }
    EXPECT_EQ(DvcOpenPort("USB001"), DVC_FAIL); // no printer on the port at all
}

// On the NT family a parallel port opens write-only: a query sends nothing and
// shows the catalogue's starred defaults, an apply takes no backup and reads
// nothing back; the printer works through what the copy handed it at its own pace.
TEST_F(SimPorts, NtFamilyParallelPortIsWriteOnly) {
    orbis::test::SimProcess sim(root_.Path(), {"--lpt", "1", "--marker", "VNPAP"});
    ASSERT_TRUE(sim.Ready());
    const std::string nt = "ORBIS_WINDOWS_FAMILY=NT";
    CliRun query = RunCli("query LPT1", nt);
    EXPECT_EQ(query.status, 0);
    EXPECT_NE(query.out.find("\nLINESPERPG=64\n"), std::string::npos) << query.out; // *LINESPERPG:5..64..128
    CliRun apply = RunCli("apply LPT1 BLANKPGS=PRINT 2>&1", nt);
    EXPECT_EQ(apply.status, 0);
    EXPECT_NE(apply.out.find("no backup, no read-back check"), std::string::npos) << apply.out;
    EXPECT_EQ(RunCli("backups").out, "");
    // Nothing was asked of the printer; offline.dat came first, then the command file.
    const std::vector<std::string> words = {"device ID asked", "PJL:", "now offline", "set ", "now online"};
    const std::vector<std::string> expected = {"now offline", "set ", "now online"};
    std::vector<std::string> seen;
    for (int i = 0; i < 100 && seen != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        seen.clear();
        for (const std::string& line : SimLog(root_.Path()))
            for (const std::string& word : words)
                if (line.find(word) != std::string::npos) seen.push_back(word);
    }
    EXPECT_EQ(seen, expected);
    const std::string probe = RunCli("probe LPT1 2>&1", nt).out;
    for (const char* line :
         {"open: DVC_OPEN_UNIDIRECTIONAL (1)", "device id: (none read)", "unidirectional: yes"})
        EXPECT_NE(probe.find(line), std::string::npos) << probe;
    const std::string held = RunCli("query LPT1").out; // two-way, as the 95 family asks
    EXPECT_NE(held.find("\nBLANKPGS=PRINT\n"), std::string::npos) << "the factory's DONTPRINT changed";
}

} // namespace
