// An in-process printer on a parallel port or USB ("PIPE00" writes, "PIPE01"
// reads), as the kernel's device behaves: with nothing sent, a USB read blocks
// until the printer speaks or the read is cancelled, a parallel one waits out
// the port's total read time-out (a second when never set).
#pragma once

#include "comm_env.h"
#include "platform/standin/io_object.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace commtest {

// "\\?\usb#vid_0a5f&pid_0042#<serial>#{28d78fad-...}"
std::string DevicePath(const std::string& serial);

class FakePrinter : public orbis::platform::IoObject {
  public:
    // Called for every write but the NPA start packet; it answers by feeding.
    using Responder = std::function<void(const Bytes& written, FakePrinter& printer)>;
    using Clock = std::chrono::steady_clock;

    // The printer as device `name` (a USB device path when `usb`); an empty device ID cannot be read.
    static std::shared_ptr<FakePrinter> Attach(const std::string& name, const std::string& deviceId,
                                               bool usb = false);

    void Feed(const Bytes& bytes) { Push({bytes}); } // empty: one read comes back empty
    void FeedAll(const std::vector<Bytes>& pieces) {
        for (const auto& piece : pieces)
            Push({piece});
    }
    void FeedPause(DWORD ms) { Push({{}, ms}); }
    void FeedFailure(DWORD error) { Push({{}, 0, error}); }               // one read fails
    void FeedDeath() { Push({{}, 0, ERROR_DEVICE_NOT_CONNECTED, true}); } // every later read and write fails
    void SetResponder(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    std::atomic<bool> writeFails{false}, pipesOpen{true};

    // What the test inspects, copied under the printer's lock.
    std::vector<Bytes> Writes() { return Get(writes_); }
    std::vector<Bytes> Commands(); // the writes but the NPA start packets
    int StartPackets() { return int(Writes().size() - Commands().size()); }
    std::vector<Clock::time_point> WriteTimes() { return Get(writeTimes_); }
    std::vector<COMMTIMEOUTS> TimeoutsSet() { return Get(timeoutsSet_); }
    int Reads() { return Get(reads_); }
    int Opens(const std::string& pipe) { return Get(opens_)[pipe]; } // "": the port or bare device
    int OpenHandles(const std::string& pipe = "") { return Get(handles_)[pipe]; }
    int BlockedReads() { return Get(blocked_); } // waiting in a read for the printer to speak
    bool WaitForBlockedRead(int ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return blocked_ > 0; });
    }
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
    void Cancel() override {
        std::lock_guard lock(mutex_);
        ++cancels_;
        changed_.notify_all();
    }

  private:
    struct Step {
        Bytes bytes;
        DWORD pauseMs = 0, error = 0;
        bool death = false;
        size_t offset = 0;
    };
    template <class T> T Get(const T& member) {
        std::lock_guard lock(mutex_);
        return member;
    }
    void Push(Step step) {
        std::lock_guard lock(mutex_);
        steps_.push_back(std::move(step));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Step> steps_;
    Responder responder_;
    std::vector<Bytes> writes_;
    std::vector<Clock::time_point> writeTimes_;
    std::vector<COMMTIMEOUTS> timeoutsSet_;
    COMMTIMEOUTS timeouts_ = {0, 0, 1000, 0, 0};
    std::string deviceId_;
    std::map<std::string, int> opens_, handles_;
    bool usb_ = false, dead_ = false;
    int reads_ = 0, blocked_ = 0;
    uint64_t cancels_ = 0;
};

// LPT1 with a printer of the family, opened in `mode` (NPA_AUTO or NPA_ON, the
// inquiry answered); the port's responder is cleared afterwards.
std::shared_ptr<FakePrinter> OpenLpt1(int mode);
// A USB printer of the family plugged in, its spooler port numbered `number`, and `port` opened.
std::shared_ptr<FakePrinter> OpenUsb(const std::string& serial = "S1", DWORD number = 1,
                                     const char* port = "USB001");

// A USB printer class interface instance in the registry: its port number, link state and symbolic link.
void AddPrinterInterface(const std::string& symbolicLink, DWORD portNumber, DWORD linked,
                         const std::string& deviceInstance);

} // namespace commtest
