#include "connection_pool.h"

#include <deque>
#include <map>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace orbis::platform::pool {

namespace {

// Enough for a port's pipes and its device-ID asks at once; every kept
// connection holds a serving thread in the printer process.
constexpr size_t kPerPipe = 4;
constexpr size_t kInAll = 16;

struct Kept {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, std::deque<int>> idle;
    size_t count = 0;
};

Kept& TheKept() {
    static Kept* kept = new Kept; // threads may close handles while the process exits
    return *kept;
}

// A kept connection is fit when the printer neither hung up nor said anything
// since: a USB pipe or a device-ID connection speaks only when asked.
bool Quiet(int fd) {
    pollfd p = {fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 0;
}

} // namespace

int Take(const std::string& socketPath, const std::string& hello) {
    for (;;) {
        int fd;
        {
            Kept& kept = TheKept();
            std::lock_guard lock(kept.mutex);
            auto it = kept.idle.find({socketPath, hello});
            if (it == kept.idle.end() || it->second.empty()) return -1;
            fd = it->second.back();
            it->second.pop_back();
            if (it->second.empty()) kept.idle.erase(it); // roots come and go in one process
            --kept.count;
        }
        if (Quiet(fd)) return fd;
        ::close(fd);
    }
}

void Keep(const std::string& socketPath, const std::string& hello, int fd) {
    {
        Kept& kept = TheKept();
        std::lock_guard lock(kept.mutex);
        if (kept.count < kInAll) {
            auto& idle = kept.idle[{socketPath, hello}];
            if (idle.size() < kPerPipe) {
                idle.push_back(fd);
                ++kept.count;
                return;
            }
        }
    }
    ::close(fd);
}

} // namespace orbis::platform::pool
