// One handle on a printer of the kernel's USB printer-class driver: the write
// pipe "PIPE00", the read pipe "PIPE01", or the device itself (bare path or
// "CTLPIPE"), all on the node's one shared descriptor. Reads return what one
// read() gives (one transfer), never block past Cancel(), and a printer that
// went away turns every call into ERROR_DEVICE_NOT_CONNECTED.
#pragma once

#include "cancel_signal.h"
#include "io_object.h"
#include "kernel_usb_node.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace orbis::platform {

class KernelUsbDevice : public IoObject {
  public:
    enum class Pipe { Device, Write, Read };

    static std::shared_ptr<KernelUsbDevice> Open(std::shared_ptr<KernelUsbNode> node, Pipe pipe, DWORD access,
                                                 DWORD* error);
    ~KernelUsbDevice() override;

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;
    bool Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override;
    void Cancel() override;

  private:
    KernelUsbDevice(std::shared_ptr<KernelUsbNode> node, Pipe pipe, DWORD access);
    enum class Wait { Ready, Timeout, Cancelled, Gone };
    // Waits for the node to be ready for `events`, for Cancel(), or `timeoutMs` (-1: no limit).
    Wait WaitFor(short events, CancelSignal::Waiter waiter, int timeoutMs, uint64_t generation);
    bool ReadPiece(void* buffer, DWORD count, DWORD* got, DWORD* error, uint64_t generation);
    DWORD Vanished(); // marks the node gone and gives the error every call now fails with

    std::shared_ptr<KernelUsbNode> node_;
    const Pipe pipe_;
    const DWORD access_;

    std::mutex writeMutex_; // one writer at a time on this handle
    CancelSignal cancel_;
};

} // namespace orbis::platform
