// USB printers end to end: the settings exchange over USB001 of a simulated
// printer process that also serves LPT1, whatever pieces and chains its output
// comes in; the values read equal those of the parallel path.
#include "support/e2e_env.h"

#include "dvc_internal.h"
#include "npa_exchange.h"

namespace {

class UsbSim : public E2eTest {};

void EndLink(const char* port) {
    ShutdownPrinterLink(port);
    settings_internal::ResetNpaCatalogue(); // the next exchange loads the catalogue again
    G_bInitialized = false;                 // and initialises the library afresh
}

TEST_F(UsbSim, QueryApplyOfflineOnlineInAnyPieces) {
    // The pieces and chains a USB line can bring are the library's tables; here
    // one plain exchange and one in every piece size and chained.
    const std::vector<std::string> variants[] = {
        {},
        {"--chain", "100", "--pieces", "1,7,31,32,random", "--seed", "3"},
    };
    int round = 0;
    for (const auto& variant : variants) {
        std::string name;
        for (const auto& word : variant)
            name += word + " ";
        SCOPED_TRACE(name);
        std::vector<std::string> options = {"--lpt", "1", "--usb", "1"};
        options.insert(options.end(), variant.begin(), variant.end());
        orbis::test::SimProcess sim(root_.Path(), options);
        ASSERT_TRUE(sim.Ready());

        StringMap parallel;
        ASSERT_EQ(QueryPrinterSettings("LPT1", parallel), 0);
        StringMap usb; // the USB port replaces the parallel one, as a second printer chosen would
        ASSERT_EQ(QueryPrinterSettings("USB001", usb), 0);
        EXPECT_GT(usb.size(), 50u);
        EXPECT_EQ(usb, parallel);

        ++round;
        const std::string power = std::to_string(10 + round);
        const std::string name16 = "Usb" + std::to_string(round) + "Name";
        ASSERT_EQ(WritePrinterSettings("USB001", {"PWRSVR:" + power, "CUST1NAME:" + name16}), 0);
        StringMap after;
        ASSERT_EQ(QueryPrinterSettings("USB001", after), 0);
        EXPECT_EQ(after["PWRSVR"], power);
        EXPECT_EQ(after["CUST1NAME"], name16);
        EndLink("USB001");
    }
}

TEST_F(UsbSim, RefusalsAndFaultsAreReported) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int write;
    } cases[] = {
        {"offline refused", {"--refuse-offline"}, kWriteFailed},
        // The alert comes before the reply: the ninth byte 1 still means accepted.
        {"alert before the reply", {"--alert-first", "--stray", "6", "--pieces", "7"}, 0},
    };
    size_t settings = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> options = {"--usb", "1"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        orbis::test::SimProcess sim(root_.Path(), options);
        ASSERT_TRUE(sim.Ready());
        EXPECT_EQ(WritePrinterSettings("USB001", {"PWRSVR:33"}), c.write);
        // Whatever came before the replies, a query reads every setting (the first,
        // clean case gives the count).
        StringMap values;
        EXPECT_EQ(QueryPrinterSettings("USB001", values), 0);
        if (!settings) settings = values.size();
        EXPECT_EQ(values.size(), settings);
        EXPECT_EQ(values["PWRSVR"], c.write == 0 ? "33" : values["PWRSVR"]);
        EndLink("USB001");
    }
    // No printer on the port at all: the open fails.
    EXPECT_EQ(DvcOpenPort("USB001"), DVC_FAIL);
    EndLink("USB001");
}

} // namespace
