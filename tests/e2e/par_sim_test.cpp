// Parallel printers end to end: the library against a simulated printer process
// on LPT1 of a private root.
#include "support/e2e_env.h"

#include "dvc_internal.h"
#include "firmware.h"

#include <fstream>
#include <thread>

namespace {

using Bytes = std::vector<unsigned char>;

// One root per test, and a library that initialises afresh on it.
class ParSim : public E2eTest {
  protected:
    void TearDown() override {
        if (G_szPortName[0]) DvcClosePort(std::string(G_szPortName).c_str());
        DvcShutdown();
        G_bInitialized = false;
        E2eTest::TearDown();
    }
    std::unique_ptr<orbis::test::SimProcess> Start(std::vector<std::string> options) {
        options.insert(options.begin(), {"--lpt", "1"});
        auto sim = std::make_unique<orbis::test::SimProcess>(root_.Path(), options);
        EXPECT_TRUE(sim->Ready());
        return sim;
    }
    // The simulator's activity log lines that contain one of the words, in order.
    std::vector<std::string> Activity(const std::vector<std::string>& words) {
        std::vector<std::string> seen;
        for (const auto& entry : std::filesystem::directory_iterator(root_.Path())) {
            if (entry.path().filename().string().rfind("sim-", 0) != 0) continue;
            std::ifstream log(entry.path());
            for (std::string line; std::getline(log, line);)
                for (const auto& word : words)
                    if (line.find(word) != std::string::npos) seen.push_back(word);
        }
        return seen;
    }
};

// The batched query of every setting the printer knows, as the settings layer sends it.
Bytes FullQuery() {
    Bytes data = {0xE7, 0x20, static_cast<unsigned char>(orbis::sim::FirmwareTable().size())};
    for (const auto& setting : orbis::sim::FirmwareTable()) {
        data.push_back(static_cast<unsigned char>(setting.id >> 8));
        data.push_back(static_cast<unsigned char>(setting.id & 0xFF));
    }
    size_t length = data.size() + 2;
    Bytes command = {0xA5, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length), 0x50,
                     0xE0};
    command.insert(command.end(), data.begin(), data.end());
    return command;
}

int Send(const Bytes& command, Bytes* reply) {
    unsigned char buffer[2048];
    uint32_t length = sizeof buffer;
    int rc = DvcSendCommand("LPT1", command.data(), static_cast<uint16_t>(command.size()), buffer, &length);
    reply->assign(buffer, buffer + (rc == DVC_OK ? length : 0));
    return rc;
}

TEST_F(ParSim, NtFamilyWritesAtCloseAndThePrinterAppliesIt) {
    auto sim = Start({"--marker", "VNPAP"});
    const auto* blankPages = orbis::sim::FindSetting(0x0101);
    ASSERT_NE(blankPages, nullptr);
    ASSERT_EQ(blankPages->factory, Bytes{0x00});
    ASSERT_EQ(RunCli("write LPT1 A5000740E0E731010101", "ORBIS_WINDOWS_FAMILY=NT").status, 0);
    // Nothing was asked of the printer; offline.dat came first, then the command file.
    // The printer works through what the copy handed it at its own pace.
    const std::vector<std::string> words = {"device ID asked", "PJL:", "now offline", "set ", "now online"};
    const std::vector<std::string> expected = {"now offline", "set ", "now online"};
    for (int i = 0; i < 100 && Activity(words) != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Activity(words), expected);

    ASSERT_EQ(DvcOpenPort("LPT1"), DVC_OK);
    Bytes reply;
    ASSERT_EQ(Send({0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x22, 0x01, 0x01}, &reply), DVC_OK);
    EXPECT_EQ(reply.back(), 0x01);
}

TEST_F(ParSim, PrinterSwitchedOffMidTransaction) {
    auto sim = Start({"--marker", "VNPAP", "--delay", "2500"});
    ASSERT_EQ(DvcOpenPort("LPT1"), DVC_OK);
    std::thread off([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        sim->Kill();
    });
    Bytes reply;
    EXPECT_EQ(Send(FullQuery(), &reply), DVC_SEND_READFAIL);
    off.join();
    EXPECT_EQ(Send(FullQuery(), &reply), DVC_SEND_WRITEFAIL);
}

TEST_F(ParSim, ProbeTellsWhatTheLibraryFound) {
    struct Case {
        std::vector<std::string> options;
        const char* family;
        std::vector<std::string> lines;
    } cases[] = {
        {{"--marker", "CPDNPA00", "--npa-mode", "on"},
         "95",
         {"open: DVC_OK (0)", "family: Orbis LP 2200 (marker \"CPDNPA00\")", "npa mode: NPA_ON (2)",
          "unidirectional: no"}},
        {{}, "NT", {"open: DVC_OPEN_UNIDIRECTIONAL (1)", "device id: (none read)", "unidirectional: yes"}},
    };
    for (const auto& c : cases) {
        auto sim = Start(c.options);
        std::string output = RunCli("probe LPT1 2>&1", std::string("ORBIS_WINDOWS_FAMILY=") + c.family).out;
        for (const auto& expected : c.lines)
            EXPECT_NE(output.find(expected), std::string::npos) << output;
        sim->Stop();
    }
}

} // namespace
