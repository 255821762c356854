// Reassembly of USB reply pieces into whole replies: stray bytes, look-alike
// packet starts, chained packets, limits, and long streams cut anywhere.
#include "support/comm_env.h"

#include "usb_internal.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

using namespace commtest;

namespace {

Bytes Slice(const Bytes& b, size_t from, size_t to = SIZE_MAX) {
    return Bytes(b.begin() + from, b.begin() + std::min(to, b.size()));
}

// The read pipe as the reassembly sees it: the scripted pieces, one (or the
// first part of one) per read, then a pipe that reports itself dead.
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
    const struct Case {
        const char* name;
        std::vector<Bytes> pieces;
        std::vector<Bytes> replies; // one per call, in order
        uint32_t capacity = USB_ASSEMBLY_SIZE;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pipe pipe{{c.pieces.begin(), c.pieces.end()}};
        for (const auto& expected : c.replies)
            EXPECT_EQ(pipe.Reply(c.capacity), expected);
        EXPECT_EQ(pipe.Reply(), Bytes{}); // nothing is left behind
        EXPECT_EQ(pipe.holdLength, 0u);
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
        Pipe pipe;
        std::mt19937 random(++seed);
        for (size_t at = 0; at < stream.size();) {
            size_t piece = size ? size : 1 + random() % 32;
            pipe.pieces.push_back(Slice(stream, at, at + piece));
            at += piece;
        }
        for (size_t r = 0; r < expected.size(); ++r)
            ASSERT_EQ(pipe.Reply(), expected[r]) << "reply " << r;
        EXPECT_TRUE(pipe.pieces.empty());
        EXPECT_EQ(pipe.holdLength, 0u);
    }
}
