// The process-wide table of open usblp nodes, and the short linger after the
// last handle closes, ended by one reaper thread that runs only while some
// node lingers.
#include "kernel_usb_node.h"

#include "host_ioctl.h"
#include "kernel_usb.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <map>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orbis::platform {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_writeStallMs{0};
std::atomic<int> g_lingerMs{0};

// Never destroyed: handles closed during the process's exit still come here.
class NodeTable {
  public:
    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<KernelUsbNode>> nodes_; // by path; under mutex_

    // The open node of a path that still works; call under mutex_.
    std::shared_ptr<KernelUsbNode> Find(const std::string& path) {
        auto it = nodes_.find(path);
        if (it == nodes_.end()) return nullptr;
        auto node = it->second.lock();
        return node && !node->Gone() ? node : nullptr;
    }

    void Linger(std::shared_ptr<KernelUsbNode> node) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto until = Clock::now() + std::chrono::milliseconds(KernelUsbLingerMs());
        bool known = false;
        for (auto& l : lingering_)
            if (l.second == node) l.first = until, known = true;
        if (!known) lingering_.push_back({until, std::move(node)});
        if (!reaperRunning_) {
            // Detached: it ends by itself once nothing lingers, and the table outlives it.
            reaperRunning_ = true;
            std::thread([this] { Reap(); }).detach();
        }
        wake_.notify_all();
    }

  private:
    void Reap() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!lingering_.empty()) {
            auto next = lingering_.front().first;
            for (const auto& l : lingering_)
                next = std::min(next, l.first);
            wake_.wait_until(lock, next);
            auto now = Clock::now();
            for (size_t i = 0; i < lingering_.size();) {
                // Closed under the lock, so that Share never opens the node while it is still open.
                if (lingering_[i].first <= now || lingering_[i].second->Gone()) {
                    lingering_.erase(lingering_.begin() + (ptrdiff_t)i);
                } else {
                    ++i;
                }
            }
        }
        reaperRunning_ = false;
    }

    std::condition_variable wake_;
    std::vector<std::pair<Clock::time_point, std::shared_ptr<KernelUsbNode>>> lingering_; // under mutex_
    bool reaperRunning_ = false;                                                          // under mutex_
};

NodeTable& Table() {
    static NodeTable* table = new NodeTable;
    return *table;
}

DWORD OpenError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EBUSY: // another program has the printer open
        return ERROR_SHARING_VIOLATION;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace

void SetKernelUsbTimesForTesting(int writeStallMs, int lingerMs) {
    g_writeStallMs = writeStallMs;
    g_lingerMs = lingerMs;
}

int KernelUsbWriteStallMs() {
    int ms = g_writeStallMs.load();
    return ms > 0 ? ms : kKernelUsbWriteStallMs;
}

int KernelUsbLingerMs() {
    int ms = g_lingerMs.load();
    return ms > 0 ? ms : kKernelUsbLingerMs;
}

std::shared_ptr<KernelUsbNode> KernelUsbNode::Share(const std::string& path, DWORD* error) {
    NodeTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex_);
    if (auto node = table.Find(path)) return node;
    for (auto it = table.nodes_.begin(); it != table.nodes_.end();)
        it = it->second.expired() ? table.nodes_.erase(it) : std::next(it);
    int fd = OpenHostNode(path, O_RDWR | O_NONBLOCK | O_NOCTTY);
    int failure = fd < 0 ? errno : 0;
    NoteHostNodeOpen(path, failure);
    if (fd < 0) {
        *error = OpenError(failure);
        return nullptr;
    }
    std::shared_ptr<KernelUsbNode> node(new KernelUsbNode(path, fd));
    table.nodes_[path] = node;
    return node;
}

void KernelUsbNode::Linger(std::shared_ptr<KernelUsbNode> node) {
    if (!node || node->Gone()) return;
    Table().Linger(std::move(node));
}

KernelUsbNode::~KernelUsbNode() {
    ::close(fd_);
}

} // namespace orbis::platform
