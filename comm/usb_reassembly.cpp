// Turns the pieces read from "PIPE01" into one reply: a single NPA packet whose
// length field covers the data of every packet of a continuation chain. Bytes
// that follow the reply wait in the caller's holding buffer for the next call.
#include "usb_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kSop = 0xA5;
constexpr unsigned char kContinue = 0x20;

class Reassembly {
  public:
    Reassembly(const UsbPieceReader& read, unsigned char* secondResBuf, uint32_t* secondResBufCurrentLen,
               DWORD maxRead)
        : read_(read), hold_(secondResBuf), holdLen_(secondResBufCurrentLen),
          maxRead_(std::max<DWORD>(maxRead, 1)), readBuf_(maxRead_, 0), assembly_(USB_ASSEMBLY_SIZE, 0) {}

    // Runs until a reply is complete or given up; returns the bytes assembled.
    uint32_t Run();
    const unsigned char* Assembly() const { return assembly_.data(); }

  private:
    // Parse: current data to classify; Test: go to the continuation test.
    enum class Step { Parse, Test, Reply, Empty };

    Step GetData();
    Step TakePacket();
    Step TakeContinuation();
    Step SkipGarbage();
    bool Pending() const { return continueBit_ || followOnPkt_ || truncatedPkt_ || prevLen_ > 0; }

    void Take(const unsigned char* packet, uint32_t count, int lengthAdded, bool lastOfChain);
    void Append(const unsigned char* bytes, uint32_t count);
    void Hold(const unsigned char* bytes, uint32_t count);

    const UsbPieceReader& read_;
    unsigned char* hold_;
    uint32_t* holdLen_;
    DWORD maxRead_;
    std::vector<unsigned char> readBuf_;
    std::vector<unsigned char> assembly_;
    std::vector<unsigned char> joined_; // saved short piece + the piece after it
    std::vector<unsigned char> prev_;   // a piece of fewer than 5 bytes that began with 0xA5
    uint32_t prevLen_ = 0;
    const unsigned char* cur_ = nullptr;
    uint32_t n_ = 0;
    uint32_t offset_ = 0;
    uint32_t remaining_ = 0;
    bool followOnPkt_ = false;
    bool truncatedPkt_ = false;
    bool continueBit_ = false;
};

void Reassembly::Append(const unsigned char* bytes, uint32_t count) {
    // The assembly never grows past its fixed size; the rest is dropped and the
    // read thread refuses such a reply anyway (it exceeds a reply slot).
    uint32_t room = USB_ASSEMBLY_SIZE - offset_;
    uint32_t take = std::min(count, room);
    if (take) std::memcpy(&assembly_[offset_], bytes, take);
    offset_ += take;
}

void Reassembly::Hold(const unsigned char* bytes, uint32_t count) {
    uint32_t keep = std::min<uint32_t>(count, USB_HOLD_SIZE);
    std::memcpy(hold_, bytes, keep);
    *holdLen_ = keep;
    DvcLog(DVC_LOG_HEX, "UsbReadResponse(stored away secondResBuf is:)\n");
    DvcLogHex(hold_, (uint16_t)std::min<uint32_t>(keep, 0xFFFF));
}

// Whole when nothing is assembled yet, else joined behind the first header.
void Reassembly::Take(const unsigned char* packet, uint32_t count, int lengthAdded, bool lastOfChain) {
    if (offset_ == 0) {
        Append(packet, count);
        return;
    }
    if (count > 5) Append(packet + 5, count - 5);
    AddToPacketLength(assembly_.data(), lengthAdded);
    if (lastOfChain) assembly_[3] = packet[3];
}

Reassembly::Step Reassembly::GetData() {
    if (*holdLen_ > 0) {
        uint32_t count = std::min<uint32_t>(*holdLen_, USB_HOLD_SIZE);
        if (readBuf_.size() < count) readBuf_.resize(count);
        std::memcpy(readBuf_.data(), hold_, count);
        std::memset(hold_, 0, count);
        *holdLen_ = 0;
        cur_ = readBuf_.data();
        n_ = count;
        return Step::Parse;
    }
    if (followOnPkt_ && prevLen_ == 0) return Step::Parse;
    std::memset(readBuf_.data(), 0, maxRead_);
    DWORD got = 0;
    bool pipeDead = false;
    read_(readBuf_.data(), &got, maxRead_, &pipeDead);
    got = std::min(got, maxRead_);
    if (got == 0) {
        DvcLog(DVC_LOG_STEPS, "UsbReadResponse(): ReadPkt() did not read anything\n");
        // A failed read closed the pipe: nothing more can come in this call.
        if (pipeDead) return Step::Empty;
        return Step::Test; // state unchanged
    }
    cur_ = readBuf_.data();
    n_ = got;
    return Step::Parse;
}

Reassembly::Step Reassembly::TakePacket() {
    if (n_ < 5) {
        prev_.assign(cur_, cur_ + n_);
        prevLen_ = n_;
        return Step::Test;
    }
    uint32_t length = (uint32_t(cur_[1]) << 8) | cur_[2];
    if (length < 2) {
        // Without room for flags and command byte this is no packet header:
        // drop the 0xA5 and look for the next one.
        ++cur_;
        --n_;
        return SkipGarbage();
    }
    uint32_t total = length + 3;
    bool cont = (cur_[3] & kContinue) != 0;
    if (n_ == total) {
        Take(cur_, n_, int(n_) - 5, !cont);
        if (!cont) return Step::Reply;
        continueBit_ = true;
        followOnPkt_ = false;
        n_ = 0;
        return Step::Test;
    }
    if (n_ < total) {
        truncatedPkt_ = true;
        remaining_ = total - n_;
        followOnPkt_ = false;
        continueBit_ = cont;
        Take(cur_, n_, int(length) - 2, !cont);
        return Step::Test;
    }
    Take(cur_, total, int(length) - 2, !cont);
    if (!cont) {
        Hold(cur_ + total, n_ - total);
        return Step::Reply;
    }
    continueBit_ = true;
    cur_ += total;
    n_ -= total;
    followOnPkt_ = true;
    return Step::Test;
}

Reassembly::Step Reassembly::TakeContinuation() {
    if (n_ <= remaining_) {
        Append(cur_, n_);
        remaining_ -= n_;
        truncatedPkt_ = remaining_ > 0;
        followOnPkt_ = false;
        return Step::Test;
    }
    Append(cur_, remaining_);
    truncatedPkt_ = false;
    cur_ += remaining_;
    n_ -= remaining_;
    remaining_ = 0;
    if ((assembly_[3] & kContinue) == 0) {
        Hold(cur_, n_);
        return Step::Reply;
    }
    // A zero byte is no packet start: leave the rest and read on.
    followOnPkt_ = cur_[0] != 0;
    return Step::Test;
}

Reassembly::Step Reassembly::SkipGarbage() {
    DvcLog(DVC_LOG_HEX,
           "Not A5, but NO prev truncatedPkt - GARBAGE - going to look for A5: responseBuffer is:\n");
    DvcLogHex(assembly_.data(), (uint16_t)std::min<uint32_t>(offset_, 0xFFFF));
    while (n_ > 0 && cur_[0] != kSop) {
        ++cur_;
        --n_;
    }
    if (n_ > 0) {
        followOnPkt_ = true;
        return Step::Test;
    }
    DvcLog(DVC_LOG_HEX, "Not A5, but NO prev truncatedPkt - GARBAGE - DID NOT FIND A5, rejecting bad data in "
                        "responseBuffer and returning no response (offset set to 0): responseBuffer is:\n");
    DvcLogHex(assembly_.data(), (uint16_t)std::min<uint32_t>(offset_, 0xFFFF));
    return Step::Empty;
}

uint32_t Reassembly::Run() {
    for (;;) {
        DvcLog(DVC_LOG_STEPS, "UsbReadResponse(): *secondResBufCurrentLen: %d\n", (int)*holdLen_);
        Step step = GetData();
        if (step == Step::Empty) return 0;
        if (step == Step::Parse) {
            if (cur_[0] == kSop) {
                step = TakePacket();
            } else if (truncatedPkt_) {
                step = TakeContinuation();
            } else if (prevLen_ > 0) {
                joined_.assign(prev_.begin(), prev_.begin() + prevLen_);
                joined_.insert(joined_.end(), cur_, cur_ + n_);
                cur_ = joined_.data();
                n_ = uint32_t(joined_.size());
                followOnPkt_ = true;
                prev_.clear();
                prevLen_ = 0;
                step = Step::Test;
            } else {
                step = SkipGarbage();
            }
            if (step == Step::Empty) return 0;
            if (step == Step::Reply) return offset_;
        }
        if (!Pending()) return offset_;
    }
}

} // namespace

void AddToPacketLength(unsigned char* packet, int count) {
    uint16_t length = uint16_t((packet[1] << 8) | packet[2]);
    length = uint16_t(length + count);
    packet[1] = uint8_t(length >> 8);
    packet[2] = uint8_t(length & 0xFF);
}

void UsbReassemble(const UsbPieceReader& read, unsigned char* reply, uint32_t* replyLength,
                   unsigned char* secondResBuf, uint32_t* secondResBufCurrentLen, DWORD maxRead) {
    Reassembly reassembly(read, secondResBuf, secondResBufCurrentLen, maxRead);
    uint32_t assembled = reassembly.Run();
    uint32_t count = std::min(assembled, *replyLength);
    if (count) std::memcpy(reply, reassembly.Assembly(), count);
    *replyLength = count;
    DvcLog(DVC_LOG_HEX, "UsbReadResponse Before RETURNING\n");
    DvcLogHex(reply, (uint16_t)std::min<uint32_t>(count, 0xFFFF));
}
