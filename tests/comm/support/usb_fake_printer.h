// An in-process USB printer: SetupAPI lists it, its "PIPE00" records what the
// library writes, and its "PIPE01" hands out queued pieces, one piece (or the
// first part of one) per read, blocking while none is ready, as a printer's
// read pipe does until the printer speaks or the read is cancelled.
#pragma once

#include "comm_env.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace commtest {

// "\\?\usb#vid_0a5f&pid_0042#<serial>#{28d78fad-...}"
std::string DevicePath(const std::string& serial);

class FakeUsbPrinter {
  public:
    // Called for every command written on "PIPE00" (the NPA start packet is
    // recorded but not passed on); it answers by queueing pieces.
    using Responder = std::function<void(const Bytes& command, FakeUsbPrinter& printer)>;

    static std::shared_ptr<FakeUsbPrinter> Attach(const std::string& devicePath, const std::string& deviceId);

    void Queue(const std::vector<Bytes>& pieces, DWORD error = 0) { // error: one failing read after them
        std::lock_guard lock(mutex_);
        for (const auto& piece : pieces)
            items_.push_back({piece, 0});
        if (error) items_.push_back({{}, error});
        changed_.notify_all();
    }
    void SetResponder(Responder responder) { Set(responder_, std::move(responder)); }
    void SetPipeOpens(bool writePipe, bool readPipe) {
        Set(writeOk_, writePipe);
        Set(readOk_, readPipe);
    }

    // What the test inspects, copied under the printer's lock.
    std::vector<Bytes> Commands() { return Get(commands_); } // writes on "PIPE00" but the start packets
    int StartPackets() { return Get(starts_); }
    int WritePipeOpens() { return Get(writeOpens_); }
    int ReadPipeOpens() { return Get(readOpens_); }
    int OpenReadPipes() { return Get(openReads_); } // opened and not yet closed
    int BlockedReads() { return Get(blocked_); }    // waiting for a piece right now
    bool WaitForBlockedRead(int ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return blocked_ > 0; });
    }

    // The pipes' side.
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error);
    bool Write(const void* buffer, DWORD count, DWORD* written);
    void Cancel() {
        std::lock_guard lock(mutex_);
        ++cancels_;
        changed_.notify_all();
    }

  private:
    friend class Pipe;
    struct Item {
        Bytes bytes;
        DWORD error = 0;
    };
    template <class T> T Get(const T& member) {
        std::lock_guard lock(mutex_);
        return member;
    }
    template <class T, class V> void Set(T& member, V value) {
        std::lock_guard lock(mutex_);
        member = std::move(value);
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    Responder responder_;
    std::vector<Bytes> commands_;
    int starts_ = 0, writeOpens_ = 0, readOpens_ = 0, openReads_ = 0, blocked_ = 0;
    uint64_t cancels_ = 0;
    bool writeOk_ = true, readOk_ = true;
};

// Registry entries under HKLM\SYSTEM\CurrentControlSet\Control\DeviceClasses:
// an interface instance of the USB printer class with its port number, link
// state and symbolic link; the key is named after the link ("\" -> "#").
void AddPrinterInterface(const std::string& symbolicLink, DWORD portNumber, DWORD linked,
                         const std::string& deviceInstance);

} // namespace commtest
