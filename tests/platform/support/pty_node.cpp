#include "pty_node.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace orbis::platformtest {

PtyNode::PtyNode() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath_ = ::ptsname(master_);
    keepOpen_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (keepOpen_ < 0 || ::tcgetattr(keepOpen_, &raw) != 0) throw std::runtime_error("pty slave");
    ::cfmakeraw(&raw);
    ::tcsetattr(keepOpen_, TCSANOW, &raw);
}

PtyNode::~PtyNode() {
    ::close(keepOpen_);
    ::close(master_);
}

void PtyNode::LinkAs(const std::string& link) const {
    std::filesystem::path p(link);
    std::filesystem::create_directories(p.parent_path());
    std::filesystem::remove(p);
    std::filesystem::create_symlink(slavePath_, p);
}

std::string PtyNode::Take(size_t count, int timeoutMs) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{master_, POLLIN, 0};
        char buffer[4096];
        ssize_t n = ::poll(&fd, 1, 100) > 0
                        ? ::read(master_, buffer, std::min(sizeof buffer, count - out.size()))
                        : 0;
        if (n > 0) out.append(buffer, (size_t)n);
    }
    return out;
}

void PtyNode::Send(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) throw std::runtime_error("pty write failed");
        done += n > 0 ? (size_t)n : 0;
    }
}

DWORD EndBlockedRead(HANDLE handle, const std::function<void()>& end) {
    auto tid = std::make_shared<std::atomic<pid_t>>(0);
    std::packaged_task<DWORD()> read([handle, tid] {
        *tid = ::gettid();
        char buffer[32];
        DWORD got = 0;
        return ReadFile(handle, buffer, sizeof buffer, &got, nullptr) ? DWORD(0) : GetLastError();
    });
    auto result = read.get_future();
    std::thread(std::move(read)).detach(); // a read that never ends fails the test, not hangs it
    // Asleep ('S') in a system call other than a lock's futex: the read waits for the device.
    bool asleep = false;
    for (int i = 0; i < 500 && !asleep; ++i, ::usleep(10000)) {
        std::string task = "/proc/self/task/" + std::to_string(tid->load()), stat, call;
        std::getline(std::ifstream(task + "/stat"), stat);
        std::ifstream(task + "/syscall") >> call;
        size_t state = stat.rfind(')') + 2;
        asleep = *tid && state < stat.size() && stat[state] == 'S' && call != std::to_string(SYS_futex);
    }
    EXPECT_TRUE(asleep) << "the read never blocked";
    end();
    if (result.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return result.get();
    ADD_FAILURE() << "the read did not end";
    return WAIT_TIMEOUT;
}

int ListenSilently(const std::string& path) {
    sockaddr_un address = {AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return ::bind(fd, (sockaddr*)&address, sizeof address) == 0 && ::listen(fd, 8) == 0 ? fd : -1;
}

} // namespace orbis::platformtest
