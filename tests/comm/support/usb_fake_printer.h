// An in-process USB printer: SetupAPI lists it, its "PIPE00" records what the
// library writes, and its "PIPE01" hands out scripted pieces, one piece (or
// the first part of one) per read, blocking while none is ready. Also writes
// the registry entries a plugged-in printer with an installed driver has.
#pragma once

#include "win32.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace usbtest {

using Bytes = std::vector<unsigned char>;

// An NPA packet: A5, length, flags, command, data.
Bytes Packet(uint8_t flags, uint8_t command, const Bytes& data);
// Splits bytes into pieces of `size` (the last one shorter).
std::vector<Bytes> Split(const Bytes& bytes, size_t size);

// "\\?\usb#vid_0a5f&pid_0042#<serial>#{28d78fad-...}"
std::string DevicePath(const std::string& serial);

class FakeUsbPrinter {
  public:
    // Called for every command written on "PIPE00" (the NPA start packet is
    // recorded but not passed on); it answers by queueing pieces.
    using Responder = std::function<void(const Bytes& command, FakeUsbPrinter& printer)>;

    static std::shared_ptr<FakeUsbPrinter> Attach(const std::string& devicePath, const std::string& deviceId);

    void Queue(const Bytes& piece);
    void QueueAll(const std::vector<Bytes>& pieces);
    void QueueFailure(DWORD error); // the next read fails with this error
    void Clear();                   // drops everything queued
    void SetResponder(Responder responder);
    void SetPipeOpens(bool writePipe, bool readPipe);

    std::vector<Bytes> Commands(); // writes on "PIPE00" other than the NPA start packet
    int StartPackets();
    int WritePipeOpens();
    int ReadPipeOpens();
    int OpenReadPipes(); // read pipes opened and not yet closed
    int BlockedReads();  // reads waiting for a piece right now
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
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    Responder responder_;
    std::vector<Bytes> commands_;
    int starts_ = 0;
    int writeOpens_ = 0;
    int readOpens_ = 0;
    int openReads_ = 0;
    int blocked_ = 0;
    uint64_t cancels_ = 0;
    bool writeOpens_ok_ = true;
    bool readOpens_ok_ = true;
};

// Registry entries under HKLM\SYSTEM\CurrentControlSet\Control\DeviceClasses.
// An interface instance of the USB printer class with its port number, link
// state and symbolic link; the key is named after the link ("\" -> "#").
void AddPrinterInterface(const std::string& symbolicLink, DWORD portNumber, DWORD linked,
                         const std::string& deviceInstance);

} // namespace usbtest
