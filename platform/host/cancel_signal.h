// Cancel() for a device object whose reads and writes wait in poll(): it ends
// a wait in progress, and also a read that was issued before the cancel but
// whose worker thread has not started it yet (an overlapped read cancelled at
// once), as Windows ends every request pending at the time of CancelIo.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace orbis::platform {

class CancelSignal {
  public:
    // A read and a write of one handle wait on their own descriptors, so that
    // one of them draining the signal never hides it from the other.
    enum Waiter { kReader = 0, kWriter = 1 };

    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    bool Valid() const { return fds_[0] >= 0 && fds_[1] >= 0; }
    // Becomes readable on Cancel(); poll it beside the device.
    int Fd(Waiter waiter) const { return fds_[waiter]; }

    // A read's turn, for the length of the read: one reader at a time, and
    // false when a cancel is waiting for it (the read then fails with
    // ERROR_OPERATION_ABORTED). Generation() identifies the read's cancels.
    class ReadTurn {
      public:
        explicit ReadTurn(CancelSignal& signal);
        ~ReadTurn();
        ReadTurn(const ReadTurn&) = delete;
        ReadTurn& operator=(const ReadTurn&) = delete;
        explicit operator bool() const { return started_; }
        uint64_t Generation() const { return generation_; }

      private:
        CancelSignal& signal_;
        std::lock_guard<std::mutex> oneReader_;
        uint64_t generation_ = 0;
        bool started_ = false;
    };
    // For waits outside a read (writes, device-ID requests).
    uint64_t Generation() const { return generation_.load(); }

    void Cancel();
    // After Fd(waiter) polled readable: drains it, and tells whether a Cancel()
    // came after `generation` was taken.
    bool Woken(Waiter waiter, uint64_t generation);
    // Without draining: whether a Cancel() came after `generation` was taken.
    bool CancelledSince(uint64_t generation) const { return generation_.load() != generation; }

  private:
    bool BeginRead(uint64_t* generation);
    void EndRead();

    int fds_[2] = {-1, -1};  // eventfds
    std::mutex readerMutex_; // one reader at a time
    std::mutex mutex_;       // orders Cancel() against the start and end of a read
    std::atomic<uint64_t> generation_{0};
    bool reading_ = false;        // under mutex_
    bool cancelNextRead_ = false; // under mutex_
};

} // namespace orbis::platform
