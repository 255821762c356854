// Reassembly of USB reply pieces into whole replies: over a real read pipe of
// an in-process printer, and over long streams cut at every kind of boundary.
#include "support/comm_env.h"
#include "support/usb_fake_printer.h"

#include "usb_internal.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

using namespace commtest;

namespace {

Bytes Slice(const Bytes& b, size_t from, size_t to = SIZE_MAX) {
    return Bytes(b.begin() + from, b.begin() + std::min(to, b.size()));
}

// Reassembles one reply from scripted pieces; past the script the pipe reports itself dead.
struct PieceList {
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

// Read over the pipe: one reply per call, nothing read beyond what the replies
// need, stray bytes and look-alike packet starts, and a pipe that dies.
TEST(UsbReassembly, PieceSequencesOverTheReadPipe) {
    const Bytes small = Packet(0x10, 0xE0, {1, 2, 3});
    const Bytes forty = Packet(0x10, 0xE0, Filler(35));
    const Bytes first = Packet(0x30, 0xE0, Filler(10, 2)), last = Packet(0x10, 0xE0, Filler(4, 3));
    const Bytes next = Packet(0x10, 0xE1, Filler(12, 4));
    // A 40-byte reply whose byte 32 is 0xA5: its last piece reads as a packet of its own.
    Bytes lookalike = forty;
    const Bytes fake = {0xA5, 0x00, 0x05, 0x10, 0xE0, 0x01, 0x02, 0x03};
    std::copy(fake.begin(), fake.end(), lookalike.begin() + 32);
    Bytes lookalikeReply = Slice(lookalike, 0, 32) + Bytes{0x01, 0x02, 0x03};
    lookalikeReply[2] = 40;
    struct Case {
        const char* name;
        std::vector<Bytes> pieces;
        std::vector<Bytes> replies; // one per call, in order
        bool pipeFails = false;     // the pipe dies before the last reply is whole
    } cases[] = {
        // (How replies are cut into pieces is the stream test's business.)
        {"two chained packets", {first, last}, {Packet(0x10, 0xE0, Filler(10, 2) + Filler(4, 3))}},
        {"reply then 7 bytes of the next", {small + Slice(next, 0, 7), Slice(next, 7)}, {small, next}},
        {"stray bytes, 0xA5 at position 6", {Bytes{1, 2, 3, 4, 5, 6} + small}, {small}},
        {"stray bytes without 0xA5", {{1, 2, 3, 4, 5, 6, 7}}, {{}}},
        {"continuation piece starting with 0xA5",
         {Slice(lookalike, 0, 32), Slice(lookalike, 32)},
         {lookalikeReply}},
        {"read pipe fails in the middle", {Slice(forty, 0, 32)}, {{}}, true},
    };
    TestWorld world;
    const std::string path = DevicePath("R1");
    auto printer = FakeUsbPrinter::Attach(path, "MFG:Vantrel;MODEL:R;");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        printer->QueueAll(c.pieces);
        printer->QueueFailure(ERROR_GEN_FAILURE); // reading past the script fails instead of blocking
        HANDLE pipe = OpenUsbHandle(path.c_str(), "PIPE01");
        ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
        Bytes hold(USB_HOLD_SIZE, 0);
        uint32_t holdLength = 0;
        auto read = [&] {
            Bytes reply(USB_ASSEMBLY_SIZE);
            uint32_t length = USB_ASSEMBLY_SIZE;
            UsbReadResponse(&pipe, reply.data(), &length, hold.data(), &holdLength, USB_READ_PIECE);
            reply.resize(length);
            return reply;
        };
        for (const auto& expected : c.replies)
            EXPECT_EQ(read(), expected);
        // A failed read closes the pipe itself; otherwise the next call meets the failure.
        if (!c.pipeFails) {
            EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
            EXPECT_EQ(read(), Bytes{});
        }
        EXPECT_EQ(pipe, INVALID_HANDLE_VALUE);
        EXPECT_EQ(holdLength, 0u);
    }
}

// Several replies, plain and chained, cut into pieces of one size or of random
// sizes, come out whole and in order; nothing is left behind.
TEST(UsbReassembly, StreamsCutAnywhere) {
    std::vector<Bytes> expected;
    Bytes stream;
    for (unsigned i = 0; i < 40; ++i) {
        int packets = 1 + int(i % 4);
        Bytes joined;
        for (int p = 0; p < packets; ++p) {
            Bytes data = Filler(1 + (i * 17 + unsigned(p) * 29) % 90, i + unsigned(p));
            stream = stream + Packet(p == packets - 1 ? 0x10 : 0x30, uint8_t(0xE0 + i % 8), data);
            joined = joined + data;
        }
        expected.push_back(Packet(0x10, uint8_t(0xE0 + i % 8), joined));
    }
    unsigned seed = 0;
    for (size_t size : {1, 7, 31, 32, 0, 0}) { // 0: random sizes from 1 to 32
        SCOPED_TRACE(size);
        PieceList list;
        std::mt19937 random(++seed);
        for (size_t at = 0; at < stream.size();) {
            size_t piece = size ? size : 1 + random() % 32;
            list.pieces.push_back(Slice(stream, at, at + piece));
            at += piece;
        }
        for (size_t r = 0; r < expected.size(); ++r)
            ASSERT_EQ(list.Reply(), expected[r]) << "reply " << r;
        EXPECT_TRUE(list.pieces.empty());
        EXPECT_EQ(list.holdLength, 0u);
    }
}

TEST(UsbReassembly, LimitsAreKept) {
    struct Case {
        const char* name;
        Bytes packet;
        uint32_t capacity;
        uint32_t expectedLength;
    } cases[] = {
        {"cut to the caller's capacity", Packet(0x10, 0xE0, Filler(100)), 50, 50},
        {"length field below 2 is no packet", {0xA5, 0x00, 0x01, 0x10}, 100, 0},
        {"largest packet", Packet(0x10, 0xE0, Filler(65533)), USB_ASSEMBLY_SIZE, 65538},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PieceList list{{c.packet}};
        EXPECT_EQ(list.Reply(c.capacity), Slice(c.packet, 0, c.expectedLength));
    }
}

} // namespace
