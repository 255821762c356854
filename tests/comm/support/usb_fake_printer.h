// An in-process USB printer: SetupAPI lists it, its "PIPE00" records what the
// library writes, and its "PIPE01" hands out scripted pieces, one piece (or
// the first part of one) per read, blocking while none is ready. Also writes
// the registry entries a plugged-in printer with an installed driver has.
#pragma once

#include "comm_env.h"
#include "win32.h"

#include <condition_variable>
#include <deque>
#include <functional>
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

    void Queue(const Bytes& piece) { QueueAll({piece}); }
    void QueueAll(const std::vector<Bytes>& pieces);
    void QueueFailure(DWORD error); // the next read fails with this error
    void SetResponder(Responder responder);
    void SetPipeOpens(bool writePipe, bool readPipe);

    // What the test inspects, copied under the printer's lock.
    std::vector<Bytes> Commands() { return Get(commands_); } // writes on "PIPE00" but the start packet
    int StartPackets() { return Get(starts_); }
    int WritePipeOpens() { return Get(writeOpens_); }
    int ReadPipeOpens() { return Get(readOpens_); }
    int OpenReadPipes() { return Get(openReads_); } // opened and not yet closed
    int BlockedReads() { return Get(blocked_); }    // waiting for a piece right now
    bool WaitForBlockedRead(int ms);

    // Used by the pipe objects.
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error);
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error);
    void Cancel();
    void ReadPipeClosed();

  private:
    struct Item {
        Bytes bytes;
        DWORD error = 0;
    };
    template <class T> T Get(const T& member) {
        std::lock_guard lock(mutex_);
        return member;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    Responder responder_;
    std::vector<Bytes> commands_;
    int starts_ = 0, writeOpens_ = 0, readOpens_ = 0, openReads_ = 0, blocked_ = 0;
    uint64_t cancels_ = 0;
    bool writeOpens_ok_ = true, readOpens_ok_ = true;
};

// Registry entries under HKLM\SYSTEM\CurrentControlSet\Control\DeviceClasses:
// an interface instance of the USB printer class with its port number, link
// state and symbolic link; the key is named after the link ("\" -> "#").
void AddPrinterInterface(const std::string& symbolicLink, DWORD portNumber, DWORD linked,
                         const std::string& deviceInstance);

} // namespace commtest
