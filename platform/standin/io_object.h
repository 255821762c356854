// The object behind a file or device HANDLE. Files, device sockets and
// in-process test devices all implement it; the Win32 calls in the platform
// layer translate between HANDLEs and these objects.
#pragma once

#include "../win32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace orbis::platform {

// One read handed to an object that reads without holding a thread (StartRead):
// an overlapped read, or a blocking ReadFile waiting for it.
class ReadRequest {
  public:
    explicit ReadRequest(DWORD count) : count_(count) {}
    virtual ~ReadRequest() = default;
    DWORD Count() const { return count_; }
    // Gives the read its result, once: `bytes` bytes of `data` go to the reader's
    // buffer (error is ERROR_SUCCESS for a read that worked). False when the read
    // had ended already (cancelled, handle closed): nothing was taken, so the object
    // keeps the data for the next read.
    virtual bool Deliver(DWORD error, const void* data, DWORD bytes) = 0;
    // The read ended without the object (cancelled); the object may drop it.
    virtual bool Ended() const = 0;
    // The thread that started the read and will likely wait for it (0: unknown).
    virtual DWORD Thread() const { return 0; }

  private:
    DWORD count_;
};

class IoObject {
  public:
    virtual ~IoObject() = default;
    // Blocking read. A device honours its COMMTIMEOUTS (parallel) or returns one
    // piece (USB); 0 bytes with success means the timeout expired. On failure,
    // *error holds the Win32 error code.
    virtual bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) = 0;
    virtual bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) = 0;
    // Starts a read that ends through request->Deliver, before returning or later
    // on any thread (the process's I/O thread), in the order the reads were started.
    // False: the object has only the blocking Read.
    virtual bool StartRead(const std::shared_ptr<ReadRequest>& request) { return false; }
    virtual bool Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                       DWORD* error) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    virtual bool GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    virtual bool SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    // Ends a Read blocked in another thread, and every read started and not yet
    // delivered: they fail with ERROR_OPERATION_ABORTED.
    virtual void Cancel() {}
};

// Hands a DeviceIoControl reply to the caller the way the printer drivers do:
// ERROR_INSUFFICIENT_BUFFER without room at all, ERROR_MORE_DATA with the first
// bytes when the buffer is short.
inline bool CopyIoctlReply(const void* reply, size_t size, void* out, DWORD outSize, DWORD* returned,
                           DWORD* error) {
    if (!out || outSize == 0) {
        *error = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    DWORD n = (DWORD)std::min<size_t>(size, outSize);
    std::memcpy(out, reply, n);
    *returned = n;
    if (n < size) {
        *error = ERROR_MORE_DATA;
        return false;
    }
    return true;
}

} // namespace orbis::platform
