// Hive file locking, loading and atomic replacement.
#include "hive_store.h"

#include "../orbis_platform.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbis::platform {
namespace {

std::string HivePath() {
    return Root() + "/registry.reg";
}

// An flock on the hive's lock file; a separate open per use, so threads of one
// process exclude each other as well as processes do.
class HiveLock {
  public:
    explicit HiveLock(int operation) {
        std::string path = HivePath() + ".lock";
        do
            fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        while (fd_ < 0 && errno == EINTR);
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
    int fd;
    do
        fd = ::open(HivePath().c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == ENOENT ? Load::Missing : Load::Unreadable;
    std::string text;
    char buffer[8192];
    for (;;) {
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
        struct stat st;
        if (::lstat(target.c_str(), &st) == 0) continue;
        ::rename(path.c_str(), target.c_str());
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
    static std::atomic<unsigned> counter{0};
    std::string temp = HivePath() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, hive.Serialize()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), HivePath().c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace

LONG ReadHive(const std::function<LONG(Hive&)>& fn) {
    Hive hive;
    {
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
