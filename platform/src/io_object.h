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

class IoObject {
  public:
    virtual ~IoObject() = default;
    // Blocking read. A device honours its COMMTIMEOUTS (parallel) or returns one
    // piece (USB); 0 bytes with success means the timeout expired. On failure,
    // *error holds the Win32 error code.
    virtual bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) = 0;
    virtual bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) = 0;
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
    // Ends a Read blocked in another thread: it fails with ERROR_OPERATION_ABORTED.
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
