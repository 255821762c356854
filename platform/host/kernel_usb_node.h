// One open device node of the kernel's USB printer driver, shared by every
// handle on it in this process: usblp lets a node be opened only once at a
// time, while the library keeps a read pipe open and opens the write pipe for
// each command beside it.
#pragma once

#include "../win32.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace orbis::platform {

class KernelUsbNode {
  public:
    // The node's shared descriptor, opened non-blocking for reading and writing
    // when nobody in this process holds it; null with *error set when it cannot be.
    static std::shared_ptr<KernelUsbNode> Share(const std::string& path, DWORD* error);
    // Keeps a node open a little after its last handle closes (kKernelUsbLingerMs).
    static void Linger(std::shared_ptr<KernelUsbNode> node);
    ~KernelUsbNode();
    KernelUsbNode(const KernelUsbNode&) = delete;
    KernelUsbNode& operator=(const KernelUsbNode&) = delete;

    int Fd() const { return fd_; }
    // The printer went away (ENODEV, EIO, hang-up): every call fails from now on,
    // and the next open of the path opens the node afresh.
    bool Gone() const { return gone_.load(); }
    void SetGone() { gone_ = true; }
    // Writes of different handles go out one after the other, never interleaved.
    std::mutex& WriteMutex() { return writeMutex_; }

  private:
    KernelUsbNode(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    const std::string path_;
    const int fd_;
    std::atomic<bool> gone_{false};
    std::mutex writeMutex_;
};

} // namespace orbis::platform
