// Transactions on a directly opened parallel port: what is written, and how the
// read thread assembles, matches and hands over the printer's replies.
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

#include <functional>

using partest::Bytes;
using partest::FakeParallelPort;
using partest::Packet;
using partest::Repeat;
using partest::operator+;

namespace {

const Bytes kCommand = {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x03, 0x40};
const Bytes kOnProof = {0xA5, 0x00, 0x02, 0x80, 0x00};

// Opens LPT1 on a fake printer in the given mode; the inquiry is answered when asked.
std::shared_ptr<FakeParallelPort> OpenPrinter(int mode) {
    auto port =
        FakeParallelPort::Attach("LPT1", mode == NPA_ON ? "MFG:Vantrel;CMD:PCL;" : "MFG:X;CMD:VNPAP;");
    if (mode == NPA_ON) {
        port->SetResponder([](const Bytes& written, FakeParallelPort& self) {
            if (written.size() == 39) self.Feed(kOnProof);
        });
    }
    EXPECT_EQ(DvcOpenPort("LPT1"), DVC_OK);
    EXPECT_EQ(G_NpaMode, mode);
    port->SetResponder(nullptr);
    return port;
}

Bytes Data(size_t count) {
    Bytes data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    return data;
}

TEST(ParTransaction, RepliesAreFoundJoinedAndMatched) {
    using Script = std::function<void(FakeParallelPort&)>;
    const Bytes reply = Packet(0x10, 0xE0, {1, 2, 3});
    struct Case {
        const char* name;
        Script script;
        int result;
        Bytes expected;
    } cases[] = {
        {"plain", [&](auto& p) { p.Feed(reply); }, DVC_OK, reply},
        {"flags 0x90 handed over", [](auto& p) { p.Feed(Packet(0x90, 0xE0, {7})); }, DVC_OK,
         Packet(0x90, 0xE0, {7})},
        {"one stray byte", [&](auto& p) { p.Feed(Bytes{0x00} + reply); }, DVC_OK, reply},
        {"two stray bytes",
         [&](auto& p) {
             p.Feed(Bytes{0x13, 0x37} + reply);
         },
         DVC_OK, reply},
        {"three stray bytes",
         [&](auto& p) {
             p.Feed(Bytes{1, 2, 3} + reply);
         },
         DVC_OK, reply},
        {"stray byte, SOP alone in its read",
         [&](auto& p) {
             p.Feed({0x00, 0xA5});
             p.FeedPause(20);
             p.Feed(Bytes(reply.begin() + 1, reply.end()));
         },
         DVC_OK, reply},
        {"foreign reply dropped",
         [&](auto& p) {
             p.Feed(Packet(0x10, 0xE1, {9, 9, 9}) + reply);
         },
         DVC_OK, reply},
        {"unsolicited error dropped", [&](auto& p) { p.Feed(Packet(0x80, 0xE0, {9}) + reply); }, DVC_OK,
         reply},
        {"command error dropped", [&](auto& p) { p.Feed(Packet(0x98, 0xE0, {9}) + reply); }, DVC_OK, reply},
        {"length field 1 is garbage",
         [&](auto& p) {
             p.Feed(Bytes{0xA5, 0x00, 0x01, 0x90} + reply);
         },
         DVC_OK, reply},
        {"length field 0 is garbage",
         [&](auto& p) {
             p.Feed(Bytes{0xA5, 0x00, 0x00} + reply);
         },
         DVC_OK, reply},
        {"chained 10 + 4",
         [](auto& p) { p.Feed(Packet(0x30, 0xE0, Data(10)) + Packet(0x10, 0xE0, Bytes(4, 0xEE))); }, DVC_OK,
         Packet(0x10, 0xE0, Data(10) + Bytes(4, 0xEE))},
        {"chained, pieces arriving slowly",
         [](auto& p) {
             Bytes all = Packet(0x30, 0xE0, Data(10)) + Packet(0x10, 0xE0, Bytes(4, 0xEE));
             for (size_t i = 0; i < all.size(); i += 4) {
                 p.Feed(Bytes(all.begin() + i, all.begin() + std::min(all.size(), i + 4)));
                 p.FeedEmpty(1);
             }
         },
         DVC_OK, Packet(0x10, 0xE0, Data(10) + Bytes(4, 0xEE))},
        {"foreign chained reply dropped whole",
         [&](auto& p) { p.Feed(Packet(0x30, 0xE1, {5}) + Packet(0x10, 0xE1, {6}) + reply); }, DVC_OK, reply},
        {"2048 bytes delivered", [](auto& p) { p.Feed(Packet(0x10, 0xE0, Data(2043))); }, DVC_OK,
         Packet(0x10, 0xE0, Data(2043))},
        {"2049 bytes refused",
         [](auto& p) { p.Feed(Packet(0x10, 0xE0, Data(2044))); },
         DVC_RESPONSE_TOO_LARGE,
         {}},
        {"2049 bytes chained refused",
         [](auto& p) { p.Feed(Packet(0x30, 0xE0, Data(1000)) + Packet(0x10, 0xE0, Data(1044))); },
         DVC_RESPONSE_TOO_LARGE,
         {}},
        {"ten empty reads mid-reply",
         [](auto& p) {
             p.Feed(Packet(0x30, 0xE0, {1}));
             p.FeedEmpty(10);
             p.Feed(Packet(0x10, 0xE0, {2}));
         },
         DVC_OK, Packet(0x10, 0xE0, {1, 2})},
        {"eleventh empty read gives up",
         [](auto& p) {
             p.Feed(Packet(0x30, 0xE0, {1}));
             p.FeedEmpty(11);
             p.Feed(Packet(0x10, 0xE0, {2}));
         },
         DVC_SEND_READFAIL,
         {}},
        {"empty reads before the first packet do not count",
         [&](auto& p) {
             p.FeedEmpty(30);
             p.Feed(reply);
         },
         DVC_OK, reply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        commtest::TestWorld world;
        auto port = OpenPrinter(NPA_AUTO);
        c.script(*port);
        unsigned char buffer[2048] = {};
        uint32_t length = sizeof buffer;
        EXPECT_EQ(DvcSendCommand("LPT1", kCommand.data(), 7, buffer, &length), c.result);
        if (c.result == DVC_OK) {
            EXPECT_EQ(Bytes(buffer, buffer + length), c.expected);
        } else if (c.result == DVC_RESPONSE_TOO_LARGE) {
            EXPECT_EQ(length, 2048u);
        } else {
            EXPECT_EQ(length, 0u);
        }
    }
}

TEST(ParTransaction, WhatReachesThePort) {
    struct Case {
        const char* name;
        int mode;
        Bytes command;
        bool buffer;
        bool replies;
        int result;
        uint32_t length;
    } cases[] = {
        {"AUTO: NPA start first", NPA_AUTO, kCommand, true, true, DVC_OK, 6},
        {"ON: bare command", NPA_ON, kCommand, true, true, DVC_OK, 6},
        {"no reply asked, no buffer",
         NPA_AUTO,
         {0xA5, 0x00, 0x04, 0x40, 0xE0, 0x03, 0x40},
         false,
         false,
         DVC_OK,
         0},
        {"reply asked, no buffer", NPA_AUTO, kCommand, false, true, DVC_RESPONSE_TOO_LARGE, 0},
        {"512 bytes", NPA_ON, Bytes{0xA5, 0x01, 0xFD, 0x40, 0x01} + Repeat(507, 0x33), false, false, DVC_OK,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        commtest::TestWorld world;
        auto port = OpenPrinter(c.mode);
        if (c.replies)
            port->SetResponder([](const Bytes& written, FakeParallelPort& self) {
                if (written.size() == 7) self.Feed(Packet(0x10, 0xE0, {4}));
            });
        unsigned char buffer[64] = {};
        uint32_t length = c.buffer ? sizeof buffer : 0;
        EXPECT_EQ(DvcSendCommand("LPT1", c.command.data(), static_cast<uint16_t>(c.command.size()),
                                 c.buffer ? buffer : nullptr, &length),
                  c.result);
        EXPECT_EQ(length, c.length);
        std::vector<Bytes> expected;
        if (c.mode != NPA_ON) expected.push_back(commtest::kStart);
        expected.push_back(c.command);
        auto writes = port->Writes();
        if (c.mode == NPA_ON) writes.erase(writes.begin()); // the inquiry of the open
        EXPECT_EQ(writes, expected);
    }
}

TEST(ParTransaction, RefusedCommands) {
    commtest::TestWorld world;
    auto port = OpenPrinter(NPA_AUTO);
    Bytes big = Bytes{0xA5, 0x01, 0xFE, 0x40, 0x01} + Repeat(508, 0);
    uint32_t length = 16;
    unsigned char buffer[16];
    EXPECT_EQ(DvcSendCommand("LPT1", big.data(), 513, buffer, &length), DVC_CMD_FAIL);
    EXPECT_TRUE(port->Writes().empty());
    port->SetWriteFails(true);
    EXPECT_EQ(DvcSendCommand("LPT1", kCommand.data(), 7, buffer, &length), DVC_SEND_WRITEFAIL);
    EXPECT_EQ(length, 0u);
}

} // namespace
