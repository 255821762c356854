// An in-process parallel printer port with scripted input: bytes that are
// ready, reads that come back empty, pauses, and the printer dying; plus
// answers that appear only once something is written. Records every write.
// A read with nothing ready waits out the port's total read time-out, as on a
// real port (a second when never set).
#pragma once

#include "comm_env.h"
#include "platform/standin/io_object.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace commtest {

// The port is its own handle object; every open handle is counted.
class FakeParallelPort : public orbis::platform::IoObject {
  public:
    using Responder = std::function<void(const Bytes& written, FakeParallelPort& port)>;
    using Clock = std::chrono::steady_clock;

    // Registers a port as the in-process device `name`; an empty device ID cannot be read.
    static std::shared_ptr<FakeParallelPort> Attach(const std::string& name, const std::string& deviceId);

    void Feed(const Bytes& bytes) { Push({bytes}); } // reads take them in parts; empty: one empty read
    void FeedPause(DWORD ms) { Push({{}, ms}); }
    void FeedDeath() { Push({{}, 0, true}); } // every later read and write fails
    void SetResponder(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    std::atomic<bool> writeFails{false};

    // What the test inspects, copied under the port's lock.
    std::vector<Bytes> Writes() { return Get(writes_); }
    std::vector<Clock::time_point> WriteTimes() { return Get(writeTimes_); }
    std::vector<COMMTIMEOUTS> TimeoutsSet() { return Get(timeoutsSet_); }
    int Reads() { return Get(reads_); }
    int OpenHandles() { return Get(openHandles_); }
    Bytes All() {
        Bytes all;
        for (const auto& write : Writes())
            all = all + write;
        return all;
    }

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;
    bool Ioctl(DWORD code, const void*, DWORD, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override;
    bool GetTimeouts(COMMTIMEOUTS* get, DWORD*) override {
        *get = Get(timeouts_);
        return true;
    }
    bool SetTimeouts(const COMMTIMEOUTS& set, DWORD*) override {
        std::lock_guard lock(mutex_);
        timeoutsSet_.push_back(timeouts_ = set);
        return true;
    }

  private:
    struct Step {
        Bytes bytes;
        DWORD pauseMs = 0;
        bool death = false;
        size_t offset = 0;
    };
    void Opened(int delta) {
        std::lock_guard lock(mutex_);
        openHandles_ += delta;
    }
    template <class T> T Get(const T& member) {
        std::lock_guard lock(mutex_);
        return member;
    }
    void Push(Step step) {
        std::lock_guard lock(mutex_);
        steps_.push_back(std::move(step));
        arrived_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Step> steps_;
    Responder responder_;
    std::vector<Bytes> writes_;
    std::vector<Clock::time_point> writeTimes_;
    std::vector<COMMTIMEOUTS> timeoutsSet_;
    COMMTIMEOUTS timeouts_ = {0, 0, 1000, 0, 0};
    std::string deviceId_;
    bool dead_ = false;
    int reads_ = 0, openHandles_ = 0;
};

// LPT1 with a printer of the family, opened in `mode` (NPA_AUTO or NPA_ON, the
// inquiry answered); the port's responder is cleared afterwards.
std::shared_ptr<FakeParallelPort> OpenLpt1(int mode);

} // namespace commtest
