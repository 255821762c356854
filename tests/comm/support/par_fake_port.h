// An in-process parallel printer port whose input is scripted: bytes that are
// ready, reads that come back empty, failing reads, pauses, and answers that
// appear only once something is written. It records every write and the
// time-outs the library sets.
#pragma once

#include "win32.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace partest {

using Bytes = std::vector<unsigned char>;

class FakeParallelPort {
  public:
    // What one write brings back: the port answers by queueing steps.
    using Responder = std::function<void(const Bytes& written, FakeParallelPort& port)>;

    void Feed(const Bytes& bytes); // bytes ready to be read (a read may take part of them)
    void FeedEmpty(int reads);     // reads that return nothing at once
    void FeedFailure(DWORD error, int reads);
    void FeedDeath();         // the printer is switched off once the steps before are read
    void FeedPause(DWORD ms); // the next read waits this long first
    void SetResponder(Responder responder);
    void Kill(); // from now on every read and write fails
    void SetWriteFails(bool fails);
    void SetDeviceIdFails(bool fails);
    void SetDeviceId(const std::string& id);

    std::vector<Bytes> Writes();
    Bytes Written();
    std::vector<COMMTIMEOUTS> TimeoutsSet();
    int Reads();
    int OpenHandles(); // device handles of this port not yet closed

    // Used by the device object.
    void Opened(int delta);

    // Registers this port as the in-process device `name` ("LPT1").
    static std::shared_ptr<FakeParallelPort> Attach(const std::string& name, const std::string& deviceId);

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error);
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error);
    bool Ioctl(DWORD code, void* out, DWORD outSize, DWORD* returned, DWORD* error);
    bool GetTimeouts(COMMTIMEOUTS* timeouts);
    void SetTimeouts(const COMMTIMEOUTS& timeouts);

  private:
    struct Step {
        enum Kind { Data, Empty, Fail, Pause, Death } kind;
        Bytes bytes;
        size_t offset = 0;
        DWORD value = 0; // error code or pause
    };
    std::mutex mutex_;
    std::deque<Step> steps_;
    Responder responder_;
    std::vector<Bytes> writes_;
    std::vector<COMMTIMEOUTS> timeoutsSet_;
    COMMTIMEOUTS timeouts_ = {0, 0, 30, 0, 0};
    std::string deviceId_;
    bool dead_ = false;
    bool writeFails_ = false;
    bool deviceIdFails_ = false;
    int reads_ = 0;
    int openHandles_ = 0;
};

// NPA packet with the given flags, command byte and data.
Bytes Packet(uint8_t flags, uint8_t command, const Bytes& data = {});
Bytes Repeat(size_t count, unsigned char value);
Bytes operator+(Bytes a, const Bytes& b);

} // namespace partest
