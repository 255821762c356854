#include "pty_node.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
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
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
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
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, (int)left.count()) <= 0) continue;
        char buffer[4096];
        ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n > 0) out.append(buffer, (size_t)n);
    }
    return out;
}

std::string PtyNode::TakeAvailable() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0)
        out.append(buffer, (size_t)n);
    return out;
}

void PtyNode::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += (size_t)n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd fd{master_, POLLOUT, 0};
            ::poll(&fd, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            throw std::runtime_error("pty write failed");
        }
    }
}

} // namespace orbis::platformtest
