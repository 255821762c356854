// fuzz-sources: comm/usb_reassembly.cpp
// Any sequence of pieces from the USB read pipe: the reassembly never reads or
// writes outside its buffers, delivers at most the caller's capacity, keeps the
// holding buffer within its size, and every reply it forms starts a packet.
//
// Input: byte 0 picks the piece size the reassembly asks for (1..64) and byte 1
// the caller's capacity; then each piece is a length byte (0..47; 0 is a read
// that brings nothing, 47 a read on a pipe that has failed) and that many bytes.
#include "usb_internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

// Logging is not what is fuzzed; the library's log calls do nothing here.
void DvcLog(uint32_t, const char*, ...) {}
void DvcLogHex(const unsigned char*, uint16_t) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const DWORD maxRead = 1 + data[0] % 64;
    const uint32_t capacities[] = {0, 5, 100, 2048, 2049, USB_ASSEMBLY_SIZE};
    const uint32_t capacity = capacities[data[1] % 6];
    size_t at = 2;
    bool dead = false;

    UsbPieceReader read = [&](unsigned char* destination, DWORD* got, DWORD count, bool* pipeDead) {
        *got = 0;
        *pipeDead = dead;
        if (dead) return;
        if (at >= size) {
            dead = *pipeDead = true;
            return;
        }
        size_t length = data[at++] % 48;
        if (length == 47) {
            dead = *pipeDead = true;
            return;
        }
        length = std::min(length, size - at);
        // The pipe hands out at most what was asked; the rest of the piece is lost
        // here, which the reassembly must survive as well.
        DWORD take = DWORD(std::min<size_t>(length, count));
        std::memcpy(destination, data + at, take);
        at += length;
        *got = take;
    };

    std::vector<unsigned char> hold(USB_HOLD_SIZE);
    uint32_t holdLength = 0;
    std::vector<unsigned char> reply(std::max<uint32_t>(capacity, 1));
    for (size_t calls = 0; calls < 4 * size + 8; ++calls) {
        uint32_t length = capacity;
        UsbReassemble(read, reply.data(), &length, hold.data(), &holdLength, maxRead);
        if (length > capacity || holdLength > USB_HOLD_SIZE) std::abort();
        if (length > 0 && reply[0] != 0xA5) std::abort();
        if (dead && holdLength == 0) break;
    }
    return 0;
}
