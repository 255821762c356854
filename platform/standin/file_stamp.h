// What tells one version of a file from another without reading it, for the
// caches of files other processes may rewrite (the hive, profiles).
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <sys/stat.h>

namespace orbis::platform {

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

inline FileStamp StampOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

// A time stamp moves in clock ticks, so a rewrite within the same tick can keep
// size, times and even the inode (a freed one is reused). Until the stamp is older
// than any tick, a cache compares the content itself.
constexpr int64_t kTimestampSettleNs = 200 * 1000000LL;

inline bool StampSettled(const FileStamp& stamp) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t nowNs = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return nowNs - std::max(stamp.mtimeNs, stamp.ctimeNs) > kTimestampSettleNs;
}

} // namespace orbis::platform
