// Hive file locking, loading and atomic replacement.
#include "hive_store.h"
#include "file_stamp.h"
#include "paths.h"

#include "../orbis_platform.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbis::platform {
namespace {

std::string HiveIn(const std::string& root) {
    return root + "/registry.reg";
}

// A refused root (paths.cpp says why) has no hive.
std::string HivePath() {
    std::string root = Root();
    return root.empty() ? "" : HiveIn(root);
}

// No hive of this program comes near this; a bigger file is somebody's doing and
// would make every reading of it slow and hungry.
constexpr off_t kMaxHiveBytes = 1 << 20;

int OpenRetry(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do
        fd = ::open(path.c_str(), flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// An flock on the hive's lock file; a separate open per use, so threads of one
// process exclude each other as well as processes do.
class HiveLock {
  public:
    explicit HiveLock(int operation) {
        std::string path = HivePath();
        if (path.empty()) return;
        fd_ = OpenRetry(path + ".lock", O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, operation) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~HiveLock() {
        if (fd_ >= 0) ::close(fd_); // closing releases the lock
    }
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

enum class Load { Ok, Missing, Corrupt, Unreadable };

// The parsed hive as last read or written by this process, and the file it came
// from. Parsing is most of a registry call's cost; other processes (the simulated
// printer, orbis-cli) may replace the file at any time, which its stamp shows.
struct HiveCache {
    bool valid = false;
    std::string path; // a new root is a new hive
    FileStamp stamp;
    bool settled = false;
    std::string text;
    Hive hive;
};
std::mutex g_cacheMutex; // taken after the file lock, never before it
HiveCache g_cache;

// Under g_cacheMutex: whether the cache is the file now at path, told by its stamp alone.
bool CacheIsCurrent(const std::string& path) {
    if (!g_cache.valid || !g_cache.settled || g_cache.path != path) return false;
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && StampOf(st) == g_cache.stamp;
}

// Under the file lock and g_cacheMutex: brings the cache up to the file, parsing
// only when its text changed.
Load LoadHive(const std::string& path) {
    // A link at the hive's name is not followed: its target may be any file of the user's.
    int fd = OpenRetry(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        g_cache.valid = false;
        return errno == ENOENT ? Load::Missing : Load::Unreadable;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        g_cache.valid = false;
        return Load::Unreadable;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        if (static_cast<off_t>(text.size()) > kMaxHiveBytes) {
            ::close(fd);
            g_cache.valid = false;
            return Load::Corrupt;
        }
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            g_cache.valid = false;
            return Load::Unreadable;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    const FileStamp stamp = StampOf(st);
    const bool settled = StampSettled(stamp);
    if (g_cache.valid && g_cache.path == path && g_cache.text == text) {
        g_cache.stamp = stamp;
        g_cache.settled = settled;
        return Load::Ok;
    }
    Hive hive;
    if (!Hive::Parse(text, &hive)) {
        g_cache.valid = false;
        return Load::Corrupt;
    }
    g_cache = HiveCache{true, path, stamp, settled, std::move(text), std::move(hive)};
    return Load::Ok;
}

// Keeps a broken hive for inspection under the first free "registry.reg.corrupt-<n>".
void MoveAside() {
    std::string path = HivePath();
    for (int n = 1; n < 100000; ++n) {
        std::string target = path + ".corrupt-" + std::to_string(n);
        // Never over an existing name, whatever appeared there since the last look.
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0 ||
            errno != EEXIST)
            return;
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool SaveHive(const Hive& hive, std::string* saved) {
    std::string text = hive.Serialize();
    if (static_cast<off_t>(text.size()) > kMaxHiveBytes) return false;
    // A new file of our own under a name nobody can guess: whatever holds a
    // name already (a link somebody planted, a left-over) is neither followed nor reused.
    std::string temp = HivePath() + ".tmp-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), HivePath().c_str()) == 0) {
        *saved = std::move(text);
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

} // namespace

LONG ReadHive(const std::function<LONG(Hive&)>& fn) {
    {
        // The file unchanged since it was parsed under a root found sound: no root
        // check, no lock, no read. What the call gets is what was read then; a file
        // put there since (by anyone) has another stamp and goes the long way.
        std::lock_guard<std::mutex> cached(g_cacheMutex);
        if (CacheIsCurrent(HiveIn(RootName()))) return fn(g_cache.hive);
    }
    const std::string path = HivePath();
    if (path.empty()) return ERROR_ACCESS_DENIED;
    {
        HiveLock lock(LOCK_SH);
        if (!lock.Held()) return ERROR_CANTREAD;
        std::lock_guard<std::mutex> cached(g_cacheMutex);
        switch (LoadHive(path)) {
        case Load::Ok:
            return fn(g_cache.hive);
        case Load::Missing: {
            Hive empty;
            return fn(empty);
        }
        case Load::Unreadable:
            return ERROR_CANTREAD;
        case Load::Corrupt:
            break;
        }
    }
    // Moving the broken file aside needs the exclusive lock.
    return ModifyHive([&](Hive& fresh, bool*) { return fn(fresh); });
}

LONG ModifyHive(const std::function<LONG(Hive&, bool* changed)>& fn) {
    const std::string path = HivePath();
    if (path.empty()) return ERROR_ACCESS_DENIED;
    HiveLock lock(LOCK_EX);
    if (!lock.Held()) return ERROR_CANTWRITE;
    std::lock_guard<std::mutex> cached(g_cacheMutex);
    Hive hive;
    switch (CacheIsCurrent(path) ? Load::Ok : LoadHive(path)) {
    case Load::Ok:
        hive = g_cache.hive; // a change that cannot be saved must not reach the cache
        break;
    case Load::Missing:
        break;
    case Load::Unreadable:
        return ERROR_CANTREAD;
    case Load::Corrupt:
        MoveAside();
        break;
    }
    bool changed = false;
    LONG result = fn(hive, &changed);
    if (!changed) return result;
    std::string text;
    if (!SaveHive(hive, &text)) return ERROR_CANTWRITE;
    // Our own write: the next call of this process needs no read. Its stamp is
    // fresh, so until it settles the text is compared once more.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0)
        g_cache = HiveCache{true, path, StampOf(st), false, std::move(text), std::move(hive)};
    else
        g_cache.valid = false;
    return result;
}

} // namespace orbis::platform
