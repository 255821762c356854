// A host file opened through CreateFileA, with Windows share-mode checks
// between the opens of this process.
#pragma once

#include "io_object.h"

#include <memory>
#include <string>

namespace orbis::platform {

class FileObject : public IoObject {
  public:
    // Opens hostPath with the Win32 access, share mode and disposition. On failure
    // returns null with *error set; on success *error is 0 or ERROR_ALREADY_EXISTS.
    static std::shared_ptr<FileObject> Open(const std::string& hostPath, DWORD access, DWORD share,
                                            DWORD disposition, DWORD* error);
    ~FileObject() override;

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override;
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override;

    // True while some handle of this process has the file open (DeleteFileA refuses then).
    static bool IsOpen(const std::string& hostPath);

  private:
    FileObject(int fd, unsigned long long dev, unsigned long long ino, DWORD access, DWORD share);
    int fd_;
    unsigned long long dev_, ino_;
    DWORD access_, share_;
};

// Win32 error code for a POSIX errno from a file operation on hostPath.
DWORD ErrnoToWin32(int err, const std::string& hostPath);

} // namespace orbis::platform
