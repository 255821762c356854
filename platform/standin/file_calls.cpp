// CreateFileA and the synchronous file and device calls.
#include "device_problem.h"
#include "devices.h"
#include "file_object.h"
#include "io_handle.h"
#include "paths.h"
#include "sync_state.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace orbis::platform {

std::shared_ptr<IoHandle> LookupIo(HANDLE handle) {
    auto io = LookupAs<IoHandle>(handle, ObjectKind::File);
    if (!io) SetLastError(ERROR_INVALID_HANDLE);
    return io;
}

} // namespace orbis::platform

using namespace orbis::platform;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(lpFileName ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<IoObject> io;
    if (IsDeviceName(lpFileName)) {
        // "LPT1:" is the same port as "LPT1" (spooler port names keep the colon).
        std::string device = lpFileName;
        if (device.back() == ':' && device.find('\\') == std::string::npos) device.pop_back();
        ForgetThreadOpenCause();
        io = OpenDevice(device, dwDesiredAccess, &error);
        if (io) error = ERROR_SUCCESS;
    } else if (std::string path = MapPath(lpFileName); path.empty()) {
        error = ERROR_ACCESS_DENIED; // a drive letter under a root that was refused
    } else {
        io = FileObject::Open(path, dwDesiredAccess, dwShareMode, dwCreationDisposition, &error);
    }
    if (!io) {
        SetLastError(error ? error : ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = InsertHandle(std::make_shared<IoHandle>(std::move(io)));
    SetLastError(error);
    return handle;
}

// A read or write is carried out synchronously; an OVERLAPPED given with it reports
// it as completed (and its event is signalled), as for an I/O that finished at once.
static BOOL Completed(LPOVERLAPPED overlapped, bool ok, DWORD error, DWORD count) {
    if (overlapped) {
        overlapped->Internal = ok ? 0 : error;
        overlapped->InternalHigh = count;
        std::lock_guard lock(SyncMutex());
        if (overlapped->hEvent) SetEventLocked(overlapped->hEvent);
    }
    if (!ok) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
    auto io = LookupIo(hFile);
    if (!io) return FALSE;
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (!lpBuffer && nNumberOfBytesToRead) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    DWORD got = 0, error = ERROR_SUCCESS;
    {
        std::lock_guard lock(SyncMutex());
        if (io->closed) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        ++io->blockingReads;
    }
    bool ok = io->Io()->Read(lpBuffer, nNumberOfBytesToRead, &got, &error);
    {
        std::lock_guard lock(SyncMutex());
        --io->blockingReads;
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = got;
    return Completed(lpOverlapped, ok, error, got);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
    auto io = LookupIo(hFile);
    if (!io) return FALSE;
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    if (!lpBuffer && nNumberOfBytesToWrite) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    DWORD written = 0, error = ERROR_SUCCESS;
    bool ok =
        nNumberOfBytesToWrite == 0 || io->Io()->Write(lpBuffer, nNumberOfBytesToWrite, &written, &error);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = written;
    return Completed(lpOverlapped, ok, error, written);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
    auto io = LookupIo(hDevice);
    if (!io) return FALSE;
    DWORD returned = 0, error = ERROR_SUCCESS;
    bool ok = io->Io()->Ioctl(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                              &returned, &error);
    if (lpBytesReturned) *lpBytesReturned = returned;
    if (!ok) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    auto io = LookupIo(hFile);
    if (!io) return FALSE;
    DWORD error = ERROR_SUCCESS;
    if (!lpCommTimeouts || !io->Io()->GetTimeouts(lpCommTimeouts, &error)) {
        SetLastError(lpCommTimeouts ? error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    auto io = LookupIo(hFile);
    if (!io) return FALSE;
    DWORD error = ERROR_SUCCESS;
    if (!lpCommTimeouts || !io->Io()->SetTimeouts(*lpCommTimeouts, &error)) {
        SetLastError(lpCommTimeouts ? error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string path = MapPath(lpFileName);
    if (FileObject::IsOpen(path)) { // Windows refuses to delete a file that is open
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(ErrnoToWin32(errno, path));
        return FALSE;
    }
    return TRUE;
}

// One rename(2): the new name holds either the old file or the whole new one.
BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if (!lpExistingFileName || !*lpExistingFileName || !lpNewFileName || !*lpNewFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string from = MapPath(lpExistingFileName), to = MapPath(lpNewFileName);
    if (from.empty() || to.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Open files cannot be moved or replaced on Windows (no FILE_SHARE_DELETE here).
    if (FileObject::IsOpen(from) || FileObject::IsOpen(to)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    const unsigned flags = (dwFlags & MOVEFILE_REPLACE_EXISTING) ? 0 : RENAME_NOREPLACE;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) != 0) {
        int err = errno;
        SetLastError(err == EEXIST ? ERROR_ALREADY_EXISTS : ErrnoToWin32(err, err == ENOENT ? from : to));
        return FALSE;
    }
    return TRUE;
}

int _unlink(const char* filename) {
    if (!filename) {
        errno = EINVAL;
        return -1;
    }
    std::string path = MapPath(filename);
    if (FileObject::IsOpen(path)) {
        errno = EACCES;
        return -1;
    }
    return ::unlink(path.c_str());
}

UINT GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
    if (!lpPathName || !lpTempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string dir = lpPathName;
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
    std::string prefix = lpPrefixString ? std::string(lpPrefixString).substr(0, 3) : "";
    auto nameFor = [&](UINT unique) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", unique & 0xFFFFu);
        return dir + prefix + digits + ".TMP";
    };
    auto fits = [&](const std::string& name) { return name.size() < MAX_PATH; };
    if (uUnique != 0) {
        std::string name = nameFor(uUnique);
        if (!fits(name)) {
            SetLastError(111 /* ERROR_BUFFER_OVERFLOW */);
            return 0;
        }
        std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
        return uUnique & 0xFFFFu;
    }
    // Like Windows: start from the tick count and probe upwards until a name is free.
    UINT start = (GetTickCount() ^ static_cast<UINT>(::getpid() << 4)) & 0xFFFFu;
    for (UINT i = 0; i < 0x10000u; ++i) {
        UINT unique = (start + i) & 0xFFFFu;
        if (unique == 0) continue;
        std::string name = nameFor(unique);
        if (!fits(name)) {
            SetLastError(111 /* ERROR_BUFFER_OVERFLOW */);
            return 0;
        }
        DWORD error = ERROR_SUCCESS;
        auto file = FileObject::Open(MapPath(name), GENERIC_WRITE, 0, CREATE_NEW, &error);
        if (file) {
            std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
            SetLastError(ERROR_SUCCESS);
            return unique;
        }
        if (error != ERROR_FILE_EXISTS && error != ERROR_SHARING_VIOLATION) {
            SetLastError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
