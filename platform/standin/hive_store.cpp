// Hive file locking, loading and atomic replacement.
#include "hive_store.h"

#include "../orbis_platform.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbis::platform {
namespace {

// A refused root (paths.cpp says why) has no hive.
std::string HivePath() {
    std::string root = Root();
    return root.empty() ? "" : root + "/registry.reg";
}

// No hive of this program comes near this; a bigger file is somebody's doing and
// would make every registry call (each re-reads the file) slow and hungry.
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

Load LoadHive(Hive* hive) {
    // A link at the hive's name is not followed: its target may be any file of the user's.
    int fd = OpenRetry(HivePath(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? Load::Missing : Load::Unreadable;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Load::Unreadable;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        if (static_cast<off_t>(text.size()) > kMaxHiveBytes) {
            ::close(fd);
            return Load::Corrupt;
        }
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return Load::Unreadable;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    *hive = Hive();
    if (!Hive::Parse(text, hive)) {
        *hive = Hive();
        return Load::Corrupt;
    }
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

bool SaveHive(const Hive& hive) {
    std::string text = hive.Serialize();
    if (static_cast<off_t>(text.size()) > kMaxHiveBytes) return false;
    // A new file of our own under a name nobody can guess: whatever holds a
    // name already (a link somebody planted, a left-over) is neither followed nor reused.
    std::string temp = HivePath() + ".tmp-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), HivePath().c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace

LONG ReadHive(const std::function<LONG(Hive&)>& fn) {
    Hive hive;
    {
        if (HivePath().empty()) return ERROR_ACCESS_DENIED;
        HiveLock lock(LOCK_SH);
        if (!lock.Held()) return ERROR_CANTREAD;
        switch (LoadHive(&hive)) {
        case Load::Ok:
        case Load::Missing:
            return fn(hive);
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
    if (HivePath().empty()) return ERROR_ACCESS_DENIED;
    HiveLock lock(LOCK_EX);
    if (!lock.Held()) return ERROR_CANTWRITE;
    Hive hive;
    switch (LoadHive(&hive)) {
    case Load::Ok:
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
    if (changed && !SaveHive(hive)) return ERROR_CANTWRITE;
    return result;
}

} // namespace orbis::platform
