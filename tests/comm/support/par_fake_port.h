// An in-process parallel printer port with scripted input: bytes that are
// ready, reads that come back empty, pauses, and the printer dying; plus
// answers that appear only once something is written. Records every write.
#pragma once

#include "comm_env.h"
#include "win32.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace commtest {

class FakeParallelPort {
  public:
    using Responder = std::function<void(const Bytes& written, FakeParallelPort& port)>;
    using Clock = std::chrono::steady_clock;

    // Registers a port as the in-process device `name`; an empty device ID cannot be read.
    static std::shared_ptr<FakeParallelPort> Attach(const std::string& name, const std::string& deviceId);

    void Feed(const Bytes& bytes) { Push({Step::Data, bytes}); } // a read may take part of them
    void FeedEmpty() { Push({Step::Empty, {}}); }                // one read comes back empty
    void FeedPause(DWORD ms) { Push({Step::Pause, {}, 0, ms}); }
    void FeedDeath() { Push({Step::Death, {}}); } // every later read and write fails
    void SetResponder(Responder responder);
    void SetWriteFails(bool fails);

    // What the test inspects, copied under the port's lock.
    std::vector<Bytes> Writes() { return Get(writes_); }
    std::vector<Clock::time_point> WriteTimes() { return Get(writeTimes_); }
    std::vector<COMMTIMEOUTS> TimeoutsSet() { return Get(timeoutsSet_); }
    int Reads() { return Get(reads_); }
    int OpenHandles() { return Get(openHandles_); }
    Bytes All(); // every write joined

    // The device side.
    void Opened(int delta);
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error);
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error);
    bool Ioctl(DWORD code, void* out, DWORD outSize, DWORD* returned, DWORD* error);
    bool Timeouts(const COMMTIMEOUTS* set, COMMTIMEOUTS* get);

  private:
    struct Step {
        enum Kind { Data, Empty, Pause, Death } kind;
        Bytes bytes;
        size_t offset = 0;
        DWORD ms = 0;
    };
    template <class T> T Get(const T& member) {
        std::lock_guard lock(mutex_);
        return member;
    }
    void Push(Step step);
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Step> steps_;
    Responder responder_;
    std::vector<Bytes> writes_;
    std::vector<Clock::time_point> writeTimes_;
    std::vector<COMMTIMEOUTS> timeoutsSet_;
    COMMTIMEOUTS timeouts_ = {0, 0, 1000, 0, 0}; // a port never given timeouts waits a second
    std::string deviceId_;
    bool dead_ = false, writeFails_ = false;
    int reads_ = 0, openHandles_ = 0;
};

// LPT1 with a printer of the family, opened in `mode` (NPA_AUTO or NPA_ON, the
// inquiry answered); the port's responder is cleared afterwards.
std::shared_ptr<FakeParallelPort> OpenLpt1(int mode);

} // namespace commtest
