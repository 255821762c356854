// A fresh ORBIS_ROOT (and current directory under it) for one test, removed
// afterwards, and a device for the in-process override seam.
#pragma once

#include "platform/orbis_platform.h"
#include "platform/standin/io_object.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace orbis::platformtest {

// Waits, up to `milliseconds`, until the kernel reports thread `tid` of this process as
// sleeping: a thread that is about to block has blocked. False on time-out.
bool WaitUntilAsleep(pid_t tid, int milliseconds);
// Threads of this process, other than the caller, that the kernel found running or ready
// to run at every one of 20 looks 15 ms apart: those that spin, however busy the machine.
int SpinningThreads();

class TempRoot {
  public:
    TempRoot();
    ~TempRoot();
    const std::string& Path() const { return path_; }
    std::string ReadFile(const std::string& relative) const;
    void WriteFile(const std::string& relative, const std::string& content) const;

  private:
    std::string path_, previous_, previousCwd_;
    bool hadPrevious_ = false;
};

// Reads block until bytes are pushed, or fail once a failure is pushed or Cancel() is called.
class QueueDevice : public platform::IoObject {
  public:
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;
    void Cancel() override;
    void Push(const std::string& bytes, DWORD failure = 0); // the bytes, then the failure for good
    void IgnoreCancel();                                    // a driver that does not abort its blocked reads
    // True once `blocked` reads wait for bytes and every pushed byte is taken.
    bool WaitForReads(int blocked, int milliseconds);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<char> incoming_;
    DWORD failure_ = 0;
    int blocked_ = 0;
    bool ignoreCancel_ = false;
};

} // namespace orbis::platformtest
