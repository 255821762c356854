// A parallel port of this machine: ppdev's node (reads through IEEE 1284
// nibble or byte mode, the device ID, writes in compatibility mode) or, where
// only the lp driver serves the port, its write-only node.
#pragma once

#include "host_ioctl.h"
#include "cancel_signal.h"
#include "io_object.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace orbis::platform {

class ReadDeadline;

// How long a claim of the port waits for another user (a print job, another
// program) to give it up: the inquiry's write constant.
constexpr int64_t kParClaimMs = 2500;
// PPCLAIM, given up after boundMs: 0, or -1 with errno (ETIMEDOUT when the bound passed).
int ClaimParallelPort(int fd, int64_t boundMs);

class HostParallelDevice : public IoObject {
  public:
    enum class Kind { Ppdev, LpOnly };

    // Opens the node (and, for ppdev, proves the port can be claimed, then gives it
    // back); null with *error set: ERROR_ACCESS_DENIED when the node may not be
    // opened, ERROR_SHARING_VIOLATION when another program kept the port past
    // kParClaimMs, else ERROR_FILE_NOT_FOUND.
    static std::shared_ptr<HostParallelDevice> Open(const std::string& node, Kind kind, DWORD access,
                                                    DWORD* error);
    ~HostParallelDevice() override; // gives a claimed port back in compatibility mode

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;
    bool Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override;
    bool GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) override;
    bool SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) override;
    // Ends the reads and writes waiting now; a read about to start ends too.
    void Cancel() override;

  private:
    HostParallelDevice(Kind kind, DWORD access, int fd);
    bool Negotiate(int mode, DWORD* error); // under portMutex_
    bool EnterReverse(DWORD* error);        // nibble, else byte; under portMutex_
    // One read() of what the port has: bytes, 0 when nothing is there yet, -1 on failure.
    ssize_t ReadOnce(uint8_t* out, size_t count, DWORD* error);
    // Reads until `count` bytes or the deadline; false on a failure or Cancel(),
    // *got still counting what arrived. With `eachStep` every attempt takes the port and a reverse mode for
    // itself, so writes on other threads go out between the attempts.
    bool Collect(uint8_t* out, DWORD count, DWORD* got, ReadDeadline& deadline, uint64_t generation,
                 bool eachStep, DWORD* error);
    // Waits up to ms; false when Cancel() came after `generation` was taken.
    bool Pause(int64_t ms, uint64_t generation, CancelSignal::Waiter waiter);
    bool ReadDeviceId(uint8_t* out, DWORD outSize, DWORD* returned, DWORD* error);
    // The port is this process's only while an exchange runs (a print job or another
    // program gets it between them); nested takes count. Under portMutex_.
    bool TakePort(DWORD* error);
    void GivePort();

    const Kind kind_;
    const DWORD access_;
    const int fd_;

    std::mutex portMutex_;             // one transfer and mode change at a time
    int mode_ = -1;                    // the IEEE 1284 mode last negotiated, -1 unknown
    int reverseMode_ = kParModeNibble; // kParModeNibble, or kParModeByte for a printer without nibble mode
    bool drained_ = false;             // the last read found nothing: negotiate afresh before the next
    int taken_ = 0;                    // TakePort minus GivePort; under portMutex_
    std::mutex timeoutsMutex_;
    COMMTIMEOUTS timeouts_;
    CancelSignal cancel_;
};

} // namespace orbis::platform
