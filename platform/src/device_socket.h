// A printer port reached over the root's device socket: a parallel port, or
// one USB pipe (write "PIPE00", read "PIPE01", or the bare device path).
#pragma once

#include "cancel_signal.h"
#include "io_object.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orbis::platform {

class SocketDevice : public IoObject {
  public:
    enum class Kind { Parallel, UsbControl, UsbWrite, UsbRead };

    // A parallel port that was never given timeouts reads like this: no interval
    // limit, one second in total, so a silent printer never blocks a reader for long.
    static constexpr COMMTIMEOUTS kDefaultTimeouts = {0, 0, 1000, 0, 0};

    // Connects to the socket and names the pipe; null with *error set when nobody serves it.
    static std::shared_ptr<SocketDevice> Open(const std::string& socketPath, Kind kind, DWORD access,
                                              DWORD* error);
    ~SocketDevice() override;

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;
    bool Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override;
    bool GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) override;
    bool SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) override;
    void Cancel() override;

  private:
    SocketDevice(std::string socketPath, Kind kind, DWORD access, int fd);
    enum class Wait { Data, Timeout, Cancelled, Broken };
    // Waits until a frame can be read from the socket or the wait ends otherwise.
    Wait WaitReadable(int timeoutMs, uint64_t generation);
    bool ReceiveData(DWORD* error); // one frame into the parallel buffer or the USB piece
    bool ReadParallel(uint8_t* out, DWORD count, DWORD* got, DWORD* error, uint64_t generation);
    bool ReadUsb(uint8_t* out, DWORD count, DWORD* got, DWORD* error, uint64_t generation);
    bool RequestDeviceId(std::string* id, DWORD* error);

    const std::string socketPath_;
    const Kind kind_;
    const DWORD access_;
    const int fd_;

    std::mutex writeMutex_; // one writer at a time
    std::mutex timeoutsMutex_;
    COMMTIMEOUTS timeouts_ = kDefaultTimeouts;
    std::deque<uint8_t> received_; // parallel: bytes not yet read
    std::vector<uint8_t> piece_;   // USB: the rest of the piece last delivered
    size_t pieceOffset_ = 0;
    bool requestOutstanding_ = false;
    CancelSignal cancel_;
    std::atomic<bool> broken_{false};
};

} // namespace orbis::platform
