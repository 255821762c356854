// A printer port reached over the root's device socket: a parallel port, or
// one USB pipe (write "PIPE00", read "PIPE01", or the bare device path).
#pragma once

#include "io_object.h"
#include "read_deadline.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orbis::platform {

class SocketDevice : public IoObject, public std::enable_shared_from_this<SocketDevice> {
  public:
    enum class Kind { Parallel, UsbControl, UsbWrite, UsbRead };

    // What a port that was never given timeouts reads with.
    static constexpr COMMTIMEOUTS kDefaultTimeouts = kDefaultPortTimeouts;

    // Connects to the socket and names the pipe; null with *error set when nobody serves it.
    static std::shared_ptr<SocketDevice> Open(const std::string& socketPath, Kind kind, DWORD access,
                                              DWORD* error);
    ~SocketDevice() override;

    // A blocking read is a started read waited for.
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool StartRead(const std::shared_ptr<ReadRequest>& request) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;
    bool Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override;
    bool GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) override;
    bool SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) override;
    void Cancel() override;

  private:
    using Clock = std::chrono::steady_clock;
    SocketDevice(std::string socketPath, Kind kind, DWORD access, int fd);
    // Serves the reads in order from what has arrived, ends those whose time is up,
    // and asks the I/O loop to call back when the first one must wait. Under mutex_.
    void Pump();
    // The first read ends now (nullopt) or waits for data until the time returned.
    std::optional<Clock::time_point> PumpParallel(ReadRequest& read);
    std::optional<Clock::time_point> PumpUsb(ReadRequest& read);
    // Delivers the first read and takes it off the queue; false when it had ended. Under mutex_.
    bool Finish(DWORD error, const void* data, DWORD bytes);
    void OnLoop(bool readable);
    bool Watch();   // registers fd_ with the I/O loop once; under mutex_
    void Receive(); // takes what the socket holds into frames; under mutex_
    bool RequestDeviceId(std::string* id, DWORD* error);

    const std::string socketPath_;
    const Kind kind_;
    const DWORD access_;
    const int fd_;
    // The I/O loop's registration of fd_, made by the first read that waits; under mutex_.
    uint64_t watch_ = 0;

    std::mutex writeMutex_; // one writer at a time
    std::mutex timeoutsMutex_;
    COMMTIMEOUTS timeouts_ = kDefaultTimeouts;

    std::mutex mutex_; // everything below; never held while waiting
    std::deque<std::shared_ptr<ReadRequest>> reads_;
    std::optional<ReadDeadline> deadline_; // the first read's, on a parallel port
    std::vector<uint8_t> incoming_;        // bytes of a frame not complete yet
    Clock::time_point lastIncoming_;
    std::deque<uint8_t> received_; // parallel: bytes not yet read
    std::vector<uint8_t> piece_;   // USB: the rest of the piece last delivered
    size_t pieceOffset_ = 0;
    bool emptyPiece_ = false; // USB: the printer answered a request with nothing
    bool requestOutstanding_ = false;
    // Cancel() found no read: it ends the read about to start (a blocking ReadFile
    // that looked the handle up just before it was closed).
    bool cancelNextRead_ = false;
    std::atomic<bool> broken_{false}; // also set by Write
    std::atomic<bool> wrote_{false};  // a close waits until the printer has taken what was written
};

} // namespace orbis::platform
