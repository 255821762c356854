// A directly opened parallel port: recognition and the NPA-mode inquiry at the open, what
// each transaction writes, and how the read thread assembles and matches the replies.
#include "support/comm_env.h"
#include "support/fake_printer.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace commtest;

namespace {

Bytes Data(size_t count) {
    Bytes data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    return data;
}

TEST(ParTransaction, RepliesAreFoundJoinedAndMatched) {
    const Bytes reply = Packet(0x10, 0xE0, {1, 2, 3});
    const Bytes chained = Packet(0x30, 0xE0, Data(10)) + Packet(0x10, 0xE0, Bytes(4, 0xEE));
    const Bytes joined = Packet(0x10, 0xE0, Data(10) + Bytes(4, 0xEE));
    const Bytes head = Packet(0x30, 0xE0, {1}), rest = Packet(0x10, 0xE0, {2});
    std::vector<Bytes> slow; // the chain in pieces of 4, an empty read after each
    for (const auto& piece : Split(chained, 4))
        slow.insert(slow.end(), {piece, {}});
    std::vector<Bytes> tenEmpty(12), elevenEmpty(13); // an empty element is an empty read
    tenEmpty.front() = elevenEmpty.front() = head;
    tenEmpty.back() = elevenEmpty.back() = rest;
    struct Case {
        const char* name;
        std::vector<Bytes> reads;
        int result;
        Bytes expected;
        uint32_t capacity = 2048; // of the caller's buffer
    } cases[] = {
        {"flags 0x90 handed over", {Packet(0x90, 0xE0, {7})}, DVC_OK, Packet(0x90, 0xE0, {7})},
        {"no data", {Packet(0x10, 0xE0)}, DVC_OK, Packet(0x10, 0xE0)},
        {"one stray byte", {Bytes{0x00} + reply}, DVC_OK, reply},
        {"two stray bytes", {Bytes{0x13, 0x37} + reply}, DVC_OK, reply},
        {"foreign reply dropped", {Packet(0x10, 0xE1, {9, 9}) + reply}, DVC_OK, reply},
        {"flags 0x80 dropped", {Packet(0x80, 0xE0, {9}) + reply}, DVC_OK, reply},
        {"flags 0x98 dropped", {Packet(0x98, 0xE0, {9}) + reply}, DVC_OK, reply},
        {"length field 1 dropped", {Bytes{0xA5, 0x00, 0x01, 0x90} + reply}, DVC_OK, reply},
        {"chained 10 + 4", {chained}, DVC_OK, joined},
        {"chained, in slow pieces", slow, DVC_OK, joined},
        {"2048 bytes", {Packet(0x10, 0xE0, Data(2043))}, DVC_OK, Packet(0x10, 0xE0, Data(2043))},
        {"2049 bytes", {Packet(0x10, 0xE0, Data(2044))}, DVC_RESPONSE_TOO_LARGE, {}},
        {"2049 bytes into a larger buffer still exceed the slot",
         {Packet(0x10, 0xE0, Data(2044))},
         DVC_RESPONSE_TOO_LARGE,
         {},
         4096},
        {"ten empty reads mid-reply", tenEmpty, DVC_OK, Packet(0x10, 0xE0, {1, 2})},
        {"eleventh empty read", elevenEmpty, DVC_SEND_READFAIL, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto port = OpenLpt1(NPA_AUTO);
        for (const auto& read : c.reads)
            port->Feed(read);
        unsigned char buffer[4096] = {};
        uint32_t length = c.capacity;
        EXPECT_EQ(DvcSendCommand("LPT1", kRegister.data(), 7, buffer, &length), c.result);
        EXPECT_EQ(Bytes(buffer, buffer + (c.result == DVC_OK ? length : 0)), c.expected);
        EXPECT_EQ(length, c.result == DVC_OK              ? c.expected.size()
                          : c.result == DVC_SEND_READFAIL ? 0
                                                          : c.capacity);
    }
}

TEST(ParTransaction, WhatReachesThePort) {
    const Bytes noReply = {0xA5, 0x00, 0x04, 0x40, 0xE0, 0x03, 0x40};
    const Bytes longest = Bytes{0xA5, 0x01, 0xFD, 0x40, 0x01} + Bytes(507, 0x33);
    struct Case {
        int mode;
        Bytes command;
        uint32_t size; // of the reply buffer
        int result;
        uint32_t length;
        bool written;
    } cases[] = {
        {NPA_AUTO, kRegister, 64, DVC_OK, 6, true},
        {NPA_ON, kRegister, 64, DVC_OK, 6, true},
        {NPA_AUTO, noReply, 0, DVC_OK, 0, true},
        {NPA_AUTO, kRegister, 0, DVC_RESPONSE_TOO_LARGE, 0, true}, // the reply is waited for anyway
        {NPA_ON, longest, 0, DVC_OK, 0, true},
        {NPA_AUTO, longest + Bytes{0}, 64, DVC_CMD_FAIL, 64, false},
        {NPA_AUTO, kRegister, 64, DVC_SEND_WRITEFAIL, 0, false}, // the port refuses every write
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.size());
        TestWorld world;
        auto port = OpenLpt1(c.mode);
        port->writeFails = c.result == DVC_SEND_WRITEFAIL;
        port->SetResponder([](const Bytes& written, FakePrinter& self) {
            if (written.size() == 7 && written[3] & 0x10) self.Feed(Packet(0x10, 0xE0, {4}));
        });
        unsigned char buffer[64] = {};
        uint32_t length = c.size;
        auto start = FakePrinter::Clock::now();
        EXPECT_EQ(DvcSendCommand("LPT1", c.command.data(), static_cast<uint16_t>(c.command.size()),
                                 c.size ? buffer : nullptr, &length),
                  c.result);
        EXPECT_EQ(length, c.length);
        // The read thread lets the printer think 385 ms before its first read, even for a ready reply.
        if (c.result == DVC_OK && c.length) {
            EXPECT_GE(FakePrinter::Clock::now() - start, std::chrono::milliseconds(385));
        }
        std::vector<Bytes> expected;
        if (c.mode != NPA_ON && c.written) expected.push_back(kStart);
        if (c.written) expected.push_back(c.command);
        auto writes = port->Writes();
        if (c.mode == NPA_ON) writes.erase(writes.begin()); // the inquiry of the open
        EXPECT_EQ(writes, expected);
    }
}

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
    const std::string longId = "MFG:Vantrel;CMD:VNPAP;" + std::string(6000, 'x');
    const struct Case {
        std::string id;
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
        {longId.substr(0, 4096), {}, DVC_OK, NPA_AUTO, 0},
        {longId, {}, DVC_OK, NPA_AUTO, 0}, // kept to the 4096 bytes of its buffer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id.substr(0, 40) + std::to_string(c.answers.size()));
        TestWorld world;
        auto port = FakePrinter::Attach("LPT1", c.id);
        auto answers = std::make_shared<std::vector<Bytes>>(c.answers);
        port->SetResponder([answers](const Bytes& written, FakePrinter& self) {
            if (written.size() != 39 || answers->empty()) return;
            self.Feed(answers->front());
            answers->erase(answers->begin());
        });
        EXPECT_EQ(DvcOpenPort("LPT1"), c.result);
        EXPECT_EQ(port->Writes(), std::vector<Bytes>(c.inquiries, kInquiry));
        if (c.result == DVC_OK) {
            EXPECT_EQ(G_NpaMode, c.mode);
            EXPECT_STREQ(G_szPortName, "LPT1");
            EXPECT_EQ(std::string(G_szDeviceId), c.id.substr(0, 4096));
        } else { // no port open, and its handle closed
            EXPECT_STREQ(G_szPortName, "");
            EXPECT_EQ(G_hPort, INVALID_HANDLE_VALUE);
            EXPECT_EQ(port->OpenHandles(), 0);
        }
        auto set = port->TimeoutsSet(); // the inquiry's time-outs, then the earlier ones back
        ASSERT_EQ(set.size(), c.inquiries ? 2u : 0u);
        if (!c.inquiries) continue;
        const COMMTIMEOUTS inquiry = {50, 5, 2500, 10, 2500};
        EXPECT_EQ(0, std::memcmp(&set[0], &inquiry, sizeof inquiry));
        EXPECT_EQ(set[1].ReadTotalTimeoutConstant, 1000u);
    }
}

} // namespace
