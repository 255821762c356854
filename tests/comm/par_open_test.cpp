// Opening a parallel port: recognition, the NPA-mode inquiry, the handle after a
// failed open, the write-only workaround, and the read primitive.
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using partest::Bytes;
using partest::FakeParallelPort;

namespace {

const char kVantrel[] = "MFG:Vantrel;MDL:Orbis LP 2200;CMD:PJL,PCL;";
const Bytes kInquiry = [] {
    std::string text = "\x1b%-12345X@PJL DINQUIRE VNPAP\r\n\x1b%-12345X";
    return Bytes(text.begin(), text.end());
}();

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(ParOpen, FamilyMarkers) {
    struct Case {
        const char* id;
        bool recognised;
    } cases[] = {
        {"MFG:Vantrel;MDL:LP 2200;", true},
        {"MFG:VANTREL;MDL:LP 2200;", false},
        {"CMD:PCL,VNPAP;", true},
        {"CMD:vnpap;", true},
        {"CMD:Vnpap;", true},
        {"CMD:vNPAP;", false},
        {"CMD:PCL, NPAP,PJL;", true},
        {"CMD:PCL, NPAP;", true},
        {"CMD:PCL,NPAP;", false},
        {"CMD:PCL, NPAP:", false},
        {"CMD:CPDNPA00;", true},
        {"CMD:cpdnpa00;", true},
        {"CMD:Cpdnpa00;", true},
        {"CMD:CPDNPA0;", false},
        {"MFG:Other;CMD:PCL;", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRecognizedPrinter(c.id), c.recognised) << c.id;
}

// How the printer answers the PJL inquiry decides the mode and the open's result.
TEST(ParOpen, InquiryAnswersDecideTheMode) {
    const Bytes kOnProof = {0xA5, 0x00, 0x02, 0x80, 0x00};
    const Bytes kOtherNpa = {0xA5, 0x00, 0x02, 0x80, 0x01};
    struct Case {
        const char* name;
        std::vector<Bytes> answers; // one per inquiry; an empty answer is silence
        int result;
        int mode;
        int inquiries;
    } cases[] = {
        {"silence", {{}}, DVC_OK, NPA_AUTO, 1},
        {"PJL AUTO", {Text("@PJL DINQUIRE VNPAP\r\nAUTO\r\n\x0c")}, DVC_OK, NPA_AUTO, 1},
        {"PJL OFF", {Text("@PJL DINQUIRE VNPAP\r\nOFF\r\n\x0c")}, DVC_CMD_FAIL, -1, 1},
        {"PJL ON only", {Text("@PJL DINQUIRE VNPAP\r\nON\r\n\x0c")}, DVC_CMD_FAIL, -1, 1},
        {"PJL both words", {Text("@PJL DINQUIRE VNPAP\r\nAUTO OFF\r\n")}, DVC_CMD_FAIL, -1, 1},
        {"not PJL", {Text("?\r\n")}, DVC_CMD_FAIL, -1, 1},
        {"NPA_ON proof", {kOnProof}, DVC_OK, NPA_ON, 1},
        {"other packet, then proof", {kOtherNpa, kOnProof}, DVC_OK, NPA_ON, 2},
        {"other packet twice", {kOtherNpa, kOtherNpa}, DVC_CMD_FAIL, -1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        commtest::TestWorld world;
        auto port = FakeParallelPort::Attach("LPT1", kVantrel);
        auto answers = std::make_shared<std::vector<Bytes>>(c.answers);
        port->SetResponder([answers](const Bytes& written, FakeParallelPort& self) {
            if (written.size() == 39 && !answers->empty()) {
                if (!answers->front().empty()) self.Feed(answers->front());
                answers->erase(answers->begin());
            }
        });
        EXPECT_EQ(DvcOpenPort("LPT1"), c.result);
        EXPECT_EQ(port->Writes(), std::vector<Bytes>(c.inquiries, kInquiry));
        if (c.result == DVC_OK) {
            EXPECT_EQ(G_NpaMode, c.mode);
            EXPECT_STREQ(G_szPortName, "LPT1");
            EXPECT_STREQ(G_szDeviceId, kVantrel);
        } else {
            // A failed open leaves no port open and the port's handle closed.
            EXPECT_STREQ(G_szPortName, "");
            EXPECT_EQ(G_hPort, INVALID_HANDLE_VALUE);
            EXPECT_EQ(port->OpenHandles(), 0);
        }
        // The inquiry's time-outs hold only while it runs.
        auto set = port->TimeoutsSet();
        ASSERT_EQ(set.size(), 2u);
        EXPECT_EQ(set[0].ReadIntervalTimeout, 50u);
        EXPECT_EQ(set[0].ReadTotalTimeoutMultiplier, 5u);
        EXPECT_EQ(set[0].ReadTotalTimeoutConstant, 2500u);
        EXPECT_EQ(set[0].WriteTotalTimeoutMultiplier, 10u);
        EXPECT_EQ(set[0].WriteTotalTimeoutConstant, 2500u);
        EXPECT_EQ(set[1].ReadTotalTimeoutConstant, 30u);
    }
}

TEST(ParOpen, DeviceIdDecidesWhetherToAsk) {
    struct Case {
        const char* id;
        int result;
        size_t writes; // the inquiry is written or not
        bool idFails = false;
    } cases[] = {
        {"MFG:Vantrel;CMD:VNPAP;", DVC_OK, 0},  {"MFG:Other;CMD:CPDNPA001;", DVC_OK, 0},
        {"MFG:Other;CMD:CPDNPA00;", DVC_OK, 1}, {"MFG:Vantrel;CMD:vnpap;", DVC_OK, 1},
        {"MFG:Other;CMD:PCL;", DVC_REFUSED, 0}, {"MFG:Vantrel;", DVC_NOT_OPEN, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        commtest::TestWorld world;
        auto port = FakeParallelPort::Attach("LPT1", c.id);
        port->SetDeviceIdFails(c.idFails);
        EXPECT_EQ(DvcOpenPort("LPT1"), c.result);
        EXPECT_EQ(port->Writes().size(), c.writes);
        if (c.result == DVC_OK) {
            EXPECT_EQ(G_NpaMode, NPA_AUTO);
            EXPECT_EQ(port->OpenHandles(), 1);
        } else {
            EXPECT_EQ(G_hPort, INVALID_HANDLE_VALUE);
            EXPECT_STREQ(G_szPortName, "");
            EXPECT_EQ(port->OpenHandles(), 0);
        }
    }
    commtest::TestWorld world;
    EXPECT_EQ(DvcOpenPort("LPT7"), DVC_FAIL); // nothing attached there
}

TEST(ParOpen, FullLengthDeviceIdStaysInsideTheBuffer) {
    struct Case {
        size_t length;
        size_t kept;
    } cases[] = {{4095, 4095}, {4096, 4096}, {6000, 4096}};
    for (const auto& c : cases) {
        commtest::TestWorld world;
        std::string id = "MFG:Vantrel;CMD:VNPAP;" + std::string(c.length - 22, 'x');
        FakeParallelPort::Attach("LPT1", id);
        ASSERT_EQ(DvcOpenPort("LPT1"), DVC_OK) << c.length;
        EXPECT_EQ(std::strlen(G_szDeviceId), c.kept);
        EXPECT_EQ(std::string(G_szDeviceId), id.substr(0, c.kept));
    }
}

TEST(ParOpen, ReadPrimitiveReturnsShortCounts) {
    struct Case {
        const char* name;
        std::vector<Bytes> feeds;
        DWORD wanted;
        BOOL ok;
        DWORD got;
    } cases[] = {
        {"one of three, then time-out", {{0x41}}, 3, TRUE, 1},
        {"two pieces", {{0x41}, {0x42, 0x43}}, 3, TRUE, 3},
        {"nothing", {}, 3, TRUE, 0},
        {"more than wanted", {{1, 2, 3, 4, 5}}, 3, TRUE, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        commtest::TestWorld world;
        auto port = FakeParallelPort::Attach("LPT1", kVantrel);
        for (const auto& feed : c.feeds)
            port->Feed(feed);
        HANDLE h =
            ParNT95CreateFile("LPT1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        unsigned char buffer[8] = {};
        DWORD got = 99;
        EXPECT_EQ(ParNT95ReadFile(h, buffer, c.wanted, &got, nullptr), c.ok);
        EXPECT_EQ(got, c.got);
        CloseHandle(h);
    }
    commtest::TestWorld world;
    auto port = FakeParallelPort::Attach("LPT1", kVantrel);
    port->Feed({0x41});
    port->FeedFailure(ERROR_GEN_FAILURE, 1);
    HANDLE h = ParNT95CreateFile("LPT1", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    unsigned char buffer[4];
    DWORD got = 0;
    EXPECT_FALSE(ParNT95ReadFile(h, buffer, 3, &got, nullptr));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    CloseHandle(h);
}

TEST(ParOpen, NtFamilyCollectsCommandsInATemporaryFile) {
    commtest::TestWorld world;
    setenv("ORBIS_WINDOWS_FAMILY", "NT", 1);
    auto port = FakeParallelPort::Attach("LPT1", kVantrel);
    EXPECT_EQ(DvcOpenPort("LPT1"), DVC_OPEN_UNIDIRECTIONAL);
    unsetenv("ORBIS_WINDOWS_FAMILY");
    EXPECT_TRUE(G_bUnidirectional);
    EXPECT_EQ(G_NpaMode, NPA_AUTO);
    EXPECT_STREQ(G_szPortName, "LPT1");
    EXPECT_STREQ(G_szDeviceId, "");
    std::string file = commtest::Host(G_szCommandFile);
    EXPECT_TRUE(commtest::Exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    EXPECT_NE(std::filesystem::path(file).filename().string().find("LPT"), std::string::npos);
    EXPECT_EQ(port->OpenHandles(), 0);
    EXPECT_TRUE(port->Writes().empty());
}

} // namespace
