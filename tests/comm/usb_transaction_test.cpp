// Commands and replies on an open USB port: what reaches the printer, reply
// pieces reassembled, replies and alerts handed over, the read thread's end.
#include "support/comm_env.h"
#include "support/fake_printer.h"

#include "usb_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <random>

using namespace commtest;

namespace {

const char kPort[] = "USB001";
const Bytes kQuery = Command(9, 0x50);

struct Sent {
    int result;
    Bytes reply;
};

const uint32_t kNoBuffer = 0xFFFFFFFF; // a slot's capacity, but no buffer

Sent Send(const Bytes& command, uint32_t capacity = DVC_RESPONSE_SLOT, const char* port = kPort) {
    const bool buffer = capacity != kNoBuffer;
    uint32_t length = buffer ? capacity : DVC_RESPONSE_SLOT;
    Bytes reply(std::max<uint32_t>(length, 1));
    int result = DvcSendCommand(port, command.data(), uint16_t(command.size()),
                                buffer ? reply.data() : nullptr, &length);
    reply.resize(result == DVC_OK && buffer ? length : 0);
    if (result == DVC_SEND_READFAIL || result == DVC_RESPONSE_TOO_LARGE) {
        EXPECT_EQ(length, 0u);
    }
    return {result, reply};
}

// Answers each command with its pieces, in order; `failFirst`: a failing read before each.
FakePrinter::Responder Script(std::vector<std::vector<Bytes>> answers, bool failFirst = false) {
    auto queue = std::make_shared<std::vector<std::vector<Bytes>>>(std::move(answers));
    return [queue, failFirst](const Bytes&, FakePrinter& printer) {
        if (failFirst) printer.FeedFailure(ERROR_GEN_FAILURE);
        if (queue->empty()) return;
        printer.FeedAll(queue->front());
        queue->erase(queue->begin());
    };
}

int StoredReplies() {
    WaitForSingleObject(G_hResponseMutex, INFINITE);
    int stored = (G_ResponseLen[0] != 0) + (G_ResponseLen[1] != 0) + (G_ResponseLen[2] != 0);
    ReleaseMutex(G_hResponseMutex);
    return stored;
}

Bytes Slice(const Bytes& b, size_t from, size_t to = SIZE_MAX) {
    return Bytes(b.begin() + from, b.begin() + std::min(to, b.size()));
}

// The read pipe as the reassembly sees it: a piece (or its first part) per read, then dead.
struct Pipe {
    std::deque<Bytes> pieces;
    Bytes hold = Bytes(USB_HOLD_SIZE, 0);
    uint32_t holdLength = 0;
    Bytes Reply(uint32_t capacity = USB_ASSEMBLY_SIZE) {
        auto reader = [this](unsigned char* destination, DWORD* got, DWORD size, bool* pipeDead) {
            *got = 0;
            *pipeDead = pieces.empty();
            if (pieces.empty()) return;
            Bytes& piece = pieces.front();
            *got = std::min<DWORD>(size, DWORD(piece.size()));
            std::copy(piece.begin(), piece.begin() + *got, destination);
            piece.erase(piece.begin(), piece.begin() + *got);
            if (piece.empty()) pieces.pop_front();
        };
        Bytes reply(USB_ASSEMBLY_SIZE);
        uint32_t length = capacity;
        UsbReassemble(reader, reply.data(), &length, hold.data(), &holdLength, USB_READ_PIECE);
        reply.resize(length);
        return reply;
    }
};

} // namespace

TEST(UsbTransaction, CommandsAndReplies) {
    const Bytes reply = Packet(0x10, 0xE0, Filler(20));
    const Bytes big = Packet(0x10, 0xE0, Filler(2043));  // 2048 bytes whole
    const Bytes huge = Packet(0x10, 0xE0, Filler(2044)); // 2049 bytes whole
    const Bytes one = Packet(0x10, 0xE0, {1}), two = Packet(0x10, 0xE0, {2}), three = Packet(0x90, 0xE0, {3});
    struct Step {
        Bytes command;
        uint32_t capacity;
        int result;
        Bytes reply;
        Bytes before = {};   // what the printer sends before the command is written
        bool reopen = false; // the port is closed before `before` comes and opened again after it
    };
    const struct Case {
        const char* name;
        std::vector<std::vector<Bytes>> answers; // to each command
        std::vector<Step> steps;
        bool threadStarted = true;
        bool brokenPipe = false; // the first read fails
    } cases[] = {
        {"512 bytes without reply bit or buffer", {}, {{Command(512, 0x40), kNoBuffer, DVC_OK, {}}}, false},
        {"513 bytes refused before any pipe opens",
         {},
         {{Command(513, 0x50), 2048, DVC_CMD_FAIL, {}}},
         false},
        {"reply in pieces of 1", {Split(reply, 1)}, {{kQuery, 2048, DVC_OK, reply}}},
        {"reply requested without buffer is waited for and dropped",
         {{reply}, {one}},
         {{kQuery, kNoBuffer, DVC_OK, {}}, {kQuery, 2048, DVC_OK, one}}},
        {"capacity 0 counts as no buffer", {{reply}}, {{kQuery, 0, DVC_OK, {}}}},
        {"2048 bytes fit", {Split(big, 32)}, {{kQuery, 2048, DVC_OK, big}}},
        {"2049 bytes into 2048", {Split(huge, 32)}, {{kQuery, 2048, DVC_RESPONSE_TOO_LARGE, {}}}},
        {"2049 bytes into a larger buffer", {Split(huge, 32)}, {{kQuery, 4096, DVC_RESPONSE_TOO_LARGE, {}}}},
        {"reply larger than the buffer", {{reply}}, {{kQuery, 10, DVC_RESPONSE_TOO_LARGE, {}}}},
        // A USB printer keeps its output until it is read, across closes and opens.
        {"output held from before the port opened is no reply", {{two}}, {{kQuery, 2048, DVC_OK, two, one}}},
        {"a reply after its wait gave up is not the next command's, nor one that came while closed",
         {{}, {three}, {one}},
         {{kQuery, 2048, DVC_SEND_READFAIL, {}},
          {kQuery, 2048, DVC_OK, three, one},
          {kQuery, 2048, DVC_OK, one, two, true}}},
        {"a broken read pipe is reopened", {{reply}}, {{kQuery, 2048, DVC_OK, reply}}, true, true},
        {"garbage gives an empty reply and a fresh pipe",
         {{{1, 2, 3, 4}, reply}},
         {{kQuery, 2048, DVC_OK, reply}}},
        {"command error tossed: the waiter times out",
         {{Packet(0x98, 0xE0, {1})}},
         {{kQuery, 2048, DVC_SEND_READFAIL, {}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto printer = OpenUsb();
        printer->SetResponder(Script(c.answers, c.brokenPipe));
        auto start = std::chrono::steady_clock::now();
        for (const auto& step : c.steps) {
            if (step.reopen) {
                EXPECT_EQ(DvcClosePort(kPort), DVC_OK);
                // Nothing reads the printer any more: what it sends now waits there.
                EXPECT_TRUE(Eventually(
                    [&] { return printer->BlockedReads() == 0 && printer->OpenHandles("PIPE01") == 0; }));
            }
            if (!step.before.empty()) {
                printer->Feed(step.before);
                // A read thread takes it in as it comes, long before the next command.
                if (ReadThreadRuns() && !step.reopen) {
                    EXPECT_TRUE(Eventually([] { return StoredReplies() == 1; }));
                }
            }
            if (step.reopen) {
                EXPECT_EQ(DvcOpenPort(kPort), DVC_OK);
            }
            Sent sent = Send(step.command, step.capacity);
            EXPECT_EQ(sent.result, step.result);
            EXPECT_EQ(sent.reply, step.reply);
        }
        // A failed read rests half a second before the pipe is opened again.
        if (c.brokenPipe) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        }
        // Each command behind an NPA start packet, on a write pipe of its own; an open tries one.
        int written = c.steps[0].result == DVC_CMD_FAIL ? 0 : int(c.steps.size());
        int reopens =
            int(std::count_if(c.steps.begin(), c.steps.end(), [](const Step& s) { return s.reopen; }));
        auto commands = printer->Commands();
        ASSERT_EQ(int(commands.size()), written);
        if (written) {
            EXPECT_EQ(commands[0], c.steps[0].command);
        }
        EXPECT_EQ(printer->StartPackets(), written);
        EXPECT_EQ(printer->Opens("PIPE00"), 1 + written + reopens);
        EXPECT_EQ(ReadThreadRuns(), c.threadStarted);
        // Each reply's pipe is closed before the next opens (the platform lets go of it a moment later).
        EXPECT_TRUE(Eventually([&] { return printer->OpenHandles("PIPE01") <= 1; }));
    }
}

TEST(UsbTransaction, AlertsWaitForTheNextCaller) {
    TestWorld world;
    auto printer = OpenUsb();
    printer->SetResponder(Script({{Packet(0x10, 0xE0, {1})}, {Packet(0x10, 0xE0, {2})}}));
    ASSERT_EQ(Send(kQuery).reply, Packet(0x10, 0xE0, {1}));
    // Kept until a wait takes it; a command's wait drops it (and an unsolicited error) for its reply.
    printer->FeedAll({Packet(0x00, 0xF0, {0xE7, 0x0C, 0x01, 0x01}), Packet(0x80, 0xE0, {9})});
    EXPECT_TRUE(Eventually([] { return StoredReplies() == 2; }));
    EXPECT_EQ(Send(kQuery).reply, Packet(0x10, 0xE0, {2}));
    EXPECT_EQ(StoredReplies(), 0);
    // Three stored before anyone waits: one per wait, in the order they came.
    printer->FeedAll({Packet(0x00, 0xF0, {1}), Packet(0x00, 0xF0, {2}), Packet(0x00, 0xF0, {3})});
    ASSERT_TRUE(Eventually([] { return StoredReplies() == 3; }));
    for (uint8_t i = 1; i <= 3; ++i) {
        unsigned char packet[DVC_RESPONSE_SLOT];
        uint32_t length = sizeof packet;
        ASSERT_EQ(UsbGetResponse(packet, &length, 0), DVC_OK);
        EXPECT_EQ(Bytes(packet, packet + length), Packet(0x00, 0xF0, {i}));
    }
}

// A read the thread is blocked in ends when the port closes, is replaced, or the library
// shuts down; a parallel port's thread left from earlier makes way for the USB one.
TEST(UsbTransaction, ClosingEndsABlockedRead) {
    enum End { Close, Shutdown, Reopen, OtherPrinter, FromParallel };
    for (End end : {Close, Shutdown, Reopen, OtherPrinter, FromParallel}) {
        SCOPED_TRACE(end);
        TestWorld world;
        if (end == FromParallel) {
            OpenLpt1(NPA_AUTO)->Feed(Packet(0x10, 0xE0, {9}));
            ASSERT_EQ(Send(kQuery, DVC_RESPONSE_SLOT, "LPT1").result, DVC_OK);
            ASSERT_TRUE(ReadThreadRuns());
        }
        auto printer = OpenUsb();
        printer->SetResponder(Script({{Packet(0x10, 0xE0, {1})}, {Packet(0x10, 0xE0, {2})}}));
        ASSERT_EQ(Send(kQuery).reply, Packet(0x10, 0xE0, {1}));
        ASSERT_TRUE(printer->WaitForBlockedRead(5000));
        if (end == FromParallel) continue;
        if (end == Close || end == OtherPrinter) {
            EXPECT_EQ(DvcClosePort(kPort), DVC_OK);
        }
        if (end == Shutdown) DvcShutdown();
        if (end == Reopen) {
            EXPECT_EQ(DvcOpenPort(kPort), DVC_OK);
        }
        // At once: the old read must not go on waiting on the closed printer's pipe.
        if (end == OtherPrinter) {
            auto other = OpenUsb("S2", 2, "USB002");
            other->SetResponder(Script({{Packet(0x10, 0xE0, {2})}}));
            Sent sent = Send(kQuery, DVC_RESPONSE_SLOT, "USB002");
            EXPECT_EQ(sent.result, DVC_OK);
            EXPECT_EQ(sent.reply, Packet(0x10, 0xE0, {2}));
        }
        EXPECT_TRUE(
            Eventually([&] { return printer->BlockedReads() == 0 && printer->OpenHandles("PIPE01") == 0; }));
        if (end == Reopen) {
            // Nothing to read away first: one pipe for the reply, one for the read after it.
            int readOpens = printer->Opens("PIPE01");
            Sent sent = Send(kQuery);
            EXPECT_EQ(sent.result, DVC_OK);
            EXPECT_EQ(sent.reply, Packet(0x10, 0xE0, {2}));
            ASSERT_TRUE(printer->WaitForBlockedRead(5000));
            EXPECT_EQ(printer->Opens("PIPE01") - readOpens, 2);
        } else if (end == Close) {
            EXPECT_FALSE(ReadThreadRuns());
        }
    }
}

TEST(UsbReassembly, PiecesBecomeWholeReplies) {
    const Bytes small = Packet(0x10, 0xE0, {1, 2, 3}), forty = Packet(0x10, 0xE0, Filler(35));
    const Bytes next = Packet(0x10, 0xE1, Filler(12, 4)), big = Packet(0x10, 0xE0, Filler(100));
    const Bytes largest = Packet(0x10, 0xE0, Filler(65533));
    // A 40-byte reply whose byte 32 is 0xA5: its last piece reads as a packet of its own.
    Bytes lookalike = forty;
    const Bytes fake = {0xA5, 0x00, 0x05, 0x10, 0xE0, 0x01, 0x02, 0x03};
    std::copy(fake.begin(), fake.end(), lookalike.begin() + 32);
    Bytes lookalikeReply = Slice(lookalike, 0, 32) + Bytes{0x01, 0x02, 0x03};
    lookalikeReply[2] = 40;
    struct Case {
        std::string name;
        std::vector<Bytes> pieces;
        std::vector<Bytes> replies; // one per call, in order
        uint32_t capacity = USB_ASSEMBLY_SIZE;
    };
    std::vector<Case> cases = {
        {"two chained packets",
         {Packet(0x30, 0xE0, Filler(10, 2)), Packet(0x10, 0xE0, Filler(4, 3))},
         {Packet(0x10, 0xE0, Filler(10, 2) + Filler(4, 3))}},
        {"reply then 7 bytes of the next", {small + Slice(next, 0, 7), Slice(next, 7)}, {small, next}},
        {"a 4-byte piece at a packet start", {Slice(small, 0, 4), Slice(small, 4)}, {small}},
        {"stray bytes, 0xA5 at position 6", {Bytes{1, 2, 3, 4, 5, 6} + small}, {small}},
        {"stray bytes without 0xA5", {{1, 2, 3, 4, 5, 6, 7}}, {{}}},
        {"continuation piece starting with 0xA5",
         {Slice(lookalike, 0, 32), Slice(lookalike, 32)},
         {lookalikeReply}},
        {"pipe dies in the middle", {Slice(forty, 0, 32)}, {{}}},
        {"cut to the caller's capacity", {big}, {Slice(big, 0, 50)}, 50},
        {"length field below 2 is no packet", {{0xA5, 0x00, 0x01, 0x10}}, {{}}},
        {"largest packet", {largest}, {largest}},
    };
    // Forty replies, plain and chained, cut into pieces of one size or of random sizes (0).
    Case stream{"stream", {}, {}};
    for (unsigned i = 0; i < 40; ++i) {
        Bytes joined;
        for (unsigned p = 0, packets = 1 + i % 4; p < packets; ++p) {
            Bytes data = Filler(1 + (i * 17 + p * 29) % 90, i + p);
            stream.pieces.push_back(Packet(p == packets - 1 ? 0x10 : 0x30, uint8_t(0xE0 + i % 8), data));
            joined = joined + data;
        }
        stream.replies.push_back(Packet(0x10, uint8_t(0xE0 + i % 8), joined));
    }
    Bytes all;
    for (const auto& packet : stream.pieces)
        all = all + packet;
    std::mt19937 random(1);
    for (size_t size : {1, 7, 31, 32, 0, 0}) {
        Case cut{"stream in pieces of " + std::to_string(size), {}, stream.replies};
        for (size_t at = 0, piece; at < all.size(); at += piece)
            cut.pieces.push_back(Slice(all, at, at + (piece = size ? size : 1 + random() % 32)));
        cases.push_back(cut);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pipe pipe{{c.pieces.begin(), c.pieces.end()}};
        for (const auto& expected : c.replies)
            EXPECT_EQ(pipe.Reply(c.capacity), expected);
        EXPECT_EQ(pipe.Reply(), Bytes{}); // nothing is left behind
        EXPECT_EQ(pipe.holdLength, 0u);
    }
}
