// Opening a parallel port: recognition, the NPA-mode inquiry, and the handle
// after a failed open. (The write-only workaround of the NT
// family is covered with its files in the file-port tests.)
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

using namespace commtest;

namespace {

const char kVantrel[] = "MFG:Vantrel;MDL:Orbis LP 2200;CMD:PJL,PCL;";
const std::string kInquiryText = "\x1b%-12345X@PJL DINQUIRE VNPAP\r\n\x1b%-12345X";
const Bytes kInquiry(kInquiryText.begin(), kInquiryText.end());

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(ParOpen, FamilyMarkers) {
    const std::pair<const char*, bool> cases[] = {
        {"MFG:Vantrel;", true},   {"MFG:VANTREL;", false}, {"CMD:VNPAP;", true},     {"CMD:vnpap;", true},
        {"CMD:Vnpap;", true},     {"CMD:vNPAP;", false},   {"CMD:PCL, NPAP,", true}, {"CMD:PCL, NPAP;", true},
        {"CMD:PCL,NPAP;", false}, {"CMD: NPAP:", false},   {"CMD:CPDNPA00;", true},  {"CMD:cpdnpa00;", true},
        {"CMD:Cpdnpa00;", true},  {"CMD:CPDNPA0;", false}, {"MFG:Other;", false},    {"", false},
    };
    for (const auto& [id, recognised] : cases)
        EXPECT_EQ(IsRecognizedPrinter(id), recognised) << id;
}

// The device ID and the answers to the PJL inquiry decide the mode and the result.
TEST(ParOpen, DeviceIdAndInquiryDecideTheMode) {
    const Bytes kOnProof = {0xA5, 0x00, 0x02, 0x80, 0x00}, kOtherNpa = {0xA5, 0x00, 0x02, 0x80, 0x01};
    struct Case {
        const char* id;
        std::vector<Bytes> answers; // one per inquiry; empty is silence
        int result, mode, inquiries;
    } cases[] = {
        {kVantrel, {{}}, DVC_OK, NPA_AUTO, 1},
        {kVantrel, {Text("@PJL DINQUIRE VNPAP\r\nAUTO\r\n")}, DVC_OK, NPA_AUTO, 1},
        {kVantrel, {Text("@PJL DINQUIRE VNPAP\r\nOFF\r\n")}, DVC_CMD_FAIL, 0, 1},
        {kVantrel, {Text("@PJL DINQUIRE VNPAP\r\nON\r\n")}, DVC_CMD_FAIL, 0, 1},
        {kVantrel, {Text("@PJL AUTO OFF\r\n")}, DVC_CMD_FAIL, 0, 1},
        {kVantrel, {kOnProof}, DVC_OK, NPA_ON, 1},
        {kVantrel, {kOtherNpa, kOnProof}, DVC_OK, NPA_ON, 2},
        {kVantrel, {kOtherNpa, kOtherNpa}, DVC_CMD_FAIL, 0, 2},
        {"MFG:Vantrel;CMD:VNPAP;", {kOnProof}, DVC_OK, NPA_AUTO, 0},
        {"MFG:Other;CMD:CPDNPA001;", {kOnProof}, DVC_OK, NPA_AUTO, 0},
        {"MFG:Other;CMD:CPDNPA00;", {kOnProof}, DVC_OK, NPA_ON, 1},
        {"MFG:Other;CMD:PCL;", {}, DVC_REFUSED, 0, 0},
        {"", {}, DVC_NOT_OPEN, 0, 0}, // device ID unreadable
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id + std::to_string(c.answers.size()));
        TestWorld world;
        auto port = FakeParallelPort::Attach("LPT1", c.id);
        auto answers = std::make_shared<std::vector<Bytes>>(c.answers);
        port->SetResponder([answers](const Bytes& written, FakeParallelPort& self) {
            if (written.size() != 39 || answers->empty()) return;
            self.Feed(answers->front());
            answers->erase(answers->begin());
        });
        EXPECT_EQ(DvcOpenPort("LPT1"), c.result);
        EXPECT_EQ(port->Writes(), std::vector<Bytes>(c.inquiries, kInquiry));
        if (c.result == DVC_OK) {
            EXPECT_EQ(G_NpaMode, c.mode);
            EXPECT_STREQ(G_szPortName, "LPT1");
            EXPECT_STREQ(G_szDeviceId, c.id);
        } else { // no port open, and its handle closed
            EXPECT_STREQ(G_szPortName, "");
            EXPECT_EQ(G_hPort, INVALID_HANDLE_VALUE);
            EXPECT_EQ(port->OpenHandles(), 0);
        }
        auto set = port->TimeoutsSet(); // the inquiry's time-outs, then the earlier ones back
        ASSERT_EQ(set.size(), c.inquiries ? 2u : 0u);
        if (!c.inquiries) continue;
        EXPECT_EQ(std::vector<DWORD>({set[0].ReadIntervalTimeout, set[0].ReadTotalTimeoutMultiplier,
                                      set[0].ReadTotalTimeoutConstant, set[0].WriteTotalTimeoutMultiplier,
                                      set[0].WriteTotalTimeoutConstant}),
                  std::vector<DWORD>({50, 5, 2500, 10, 2500}));
        EXPECT_EQ(set[1].ReadTotalTimeoutConstant, 1000u);
    }
}

TEST(ParOpen, FullLengthDeviceIdStaysInsideTheBuffer) {
    for (size_t length : {4095, 4096, 6000}) {
        TestWorld world;
        std::string id = "MFG:Vantrel;CMD:VNPAP;" + std::string(length - 22, 'x');
        FakeParallelPort::Attach("LPT1", id);
        ASSERT_EQ(DvcOpenPort("LPT1"), DVC_OK) << length;
        EXPECT_EQ(std::string(G_szDeviceId), id.substr(0, std::min<size_t>(length, 4096)));
    }
}

} // namespace
