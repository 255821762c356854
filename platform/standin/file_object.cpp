// Host files behind CreateFileA handles.
#include "file_object.h"

#include <cerrno>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace orbis::platform {
namespace {

struct OpenEntry {
    const FileObject* owner;
    unsigned long long dev, ino;
    DWORD access, share;
    std::string path;
};

// Opens of this process, for the share-mode rules and DeleteFileA.
std::mutex openMutex;
std::list<OpenEntry> openFiles;

bool Conflicts(const OpenEntry& open, DWORD access, DWORD share) {
    if ((access & GENERIC_READ) && !(open.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(open.share & FILE_SHARE_WRITE)) return true;
    if ((open.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((open.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
    return false;
}

bool ParentExists(const std::string& hostPath) {
    auto slash = hostPath.find_last_of('/');
    if (slash == std::string::npos) return true;
    std::string parent = slash == 0 ? "/" : hostPath.substr(0, slash);
    struct stat st;
    return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Files this program creates are for the user alone (command files, offline.dat, temporary files).
int OpenRetry(const char* path, int flags, mode_t mode = 0600) {
    int fd;
    do
        fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

DWORD ErrnoToWin32(int err, const std::string& hostPath) {
    switch (err) {
    case ENOENT:
        return ParentExists(hostPath) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case ELOOP: // a link where a file is written: refused, never followed
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return 4; // ERROR_TOO_MANY_OPEN_FILES
    default:
        return ERROR_GEN_FAILURE;
    }
}

std::shared_ptr<FileObject> FileObject::Open(const std::string& hostPath, DWORD access, DWORD share,
                                             DWORD disposition, DWORD* error) {
    const char* path = hostPath.c_str();
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    // A write never goes through a link at the name: a link planted there would
    // make it empty or overwrite whatever the link points to.
    // (New files are made with O_EXCL, which follows no link either.)
    const bool writes =
        (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (writes) flags |= O_NOFOLLOW;

    bool existed = true;
    bool truncate = false;
    int fd = -1;
    switch (disposition) {
    case CREATE_NEW:
        fd = OpenRetry(path, flags | O_CREAT | O_EXCL);
        existed = false;
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
            fd = OpenRetry(path, flags);
            if (fd >= 0 || errno != ENOENT) break;
            fd = OpenRetry(path, flags | O_CREAT | O_EXCL);
            if (fd >= 0)
                existed = false;
            else if (errno != EEXIST)
                break;
        }
        truncate = existed && disposition == CREATE_ALWAYS;
        break;
    case OPEN_EXISTING:
        fd = OpenRetry(path, flags);
        break;
    case TRUNCATE_EXISTING:
        if (!(access & GENERIC_WRITE)) {
            *error = ERROR_INVALID_PARAMETER;
            return nullptr;
        }
        fd = OpenRetry(path, flags);
        truncate = true;
        break;
    default:
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (fd < 0) {
        *error = ErrnoToWin32(errno, hostPath);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    std::shared_ptr<FileObject> file;
    {
        std::lock_guard lock(openMutex);
        for (const auto& open : openFiles) {
            if (open.dev == st.st_dev && open.ino == st.st_ino && Conflicts(open, access, share)) {
                ::close(fd);
                *error = ERROR_SHARING_VIOLATION;
                return nullptr;
            }
        }
        file.reset(new FileObject(fd, st.st_dev, st.st_ino, access, share));
        openFiles.push_back(OpenEntry{file.get(), st.st_dev, st.st_ino, access, share, hostPath});
    }
    if (truncate && st.st_size != 0) {
        // Without write access, truncated through a second open of the same file, not of the name.
        int writer = (access & GENERIC_WRITE) ? fd : OpenRetry(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat again;
        int rc = -1, err = errno;
        if (writer >= 0 && ::fstat(writer, &again) == 0) {
            rc = again.st_ino == st.st_ino && again.st_dev == st.st_dev ? ::ftruncate(writer, 0) : -1;
            err = rc == 0 ? 0 : again.st_ino == st.st_ino ? errno : EACCES;
        }
        if (writer >= 0 && writer != fd) ::close(writer);
        if (rc != 0) {
            *error = ErrnoToWin32(err, hostPath);
            return nullptr;
        }
    }
    *error = existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS;
    return file;
}

FileObject::FileObject(int fd, unsigned long long dev, unsigned long long ino, DWORD access, DWORD share)
    : fd_(fd), dev_(dev), ino_(ino), access_(access), share_(share) {}

FileObject::~FileObject() {
    ::close(fd_);
    std::lock_guard lock(openMutex);
    openFiles.remove_if([this](const OpenEntry& open) { return open.owner == this; });
}

bool FileObject::IsOpen(const std::string& hostPath) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) != 0) return false;
    std::lock_guard lock(openMutex);
    for (const auto& open : openFiles)
        if (open.dev == st.st_dev && open.ino == st.st_ino) return true;
    return false;
}

bool FileObject::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    *got = 0;
    if (!(access_ & GENERIC_READ)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    while (*got < count) {
        ssize_t n = ::read(fd_, out + *got, count - *got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = ErrnoToWin32(errno, "");
            return false;
        }
        if (n == 0) break;
        *got += static_cast<DWORD>(n);
    }
    return true;
}

bool FileObject::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    *written = 0;
    if (!(access_ & GENERIC_WRITE)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    auto* in = static_cast<const char*>(buffer);
    while (*written < count) {
        ssize_t n = ::write(fd_, in + *written, count - *written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n == 0 ? ERROR_DISK_FULL : ErrnoToWin32(errno, "");
            return false;
        }
        *written += static_cast<DWORD>(n);
    }
    return true;
}

} // namespace orbis::platform
