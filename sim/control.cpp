#include "control.h"

#include "device_wire.h"

#include <mutex>

namespace orbis::sim {

namespace {
std::mutex g_fdsMutex;
} // namespace

ControlServer::~ControlServer() {
    Stop();
}

bool ControlServer::Start(const std::string& path, Handler handler, std::string* error) {
    path_ = path;
    handler_ = std::move(handler);
    sockaddr_un address;
    socklen_t length = 0;
    int dirFd = -1;
    ::unlink(path.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = listenFd_ >= 0 && wire::MakeAddress(path, &address, &length, &dirFd) &&
              ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
              ::listen(listenFd_, 4) == 0;
    if (dirFd >= 0) ::close(dirFd);
    if (!ok) {
        *error = "cannot listen on control socket " + path;
        return false;
    }
    acceptThread_ = std::thread([this] {
        for (int fd; (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            {
                std::lock_guard<std::mutex> lock(g_fdsMutex);
                clientFds_.push_back(fd);
            }
            clients_.emplace_back([this, fd] { Serve(fd); });
        }
    });
    return true;
}

void ControlServer::Serve(int fd) {
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        std::string answer = handler_(line) + "\n";
        line.clear();
        if (!wire::WriteAll(fd, answer.data(), answer.size())) break;
    }
}

void ControlServer::Stop() {
    if (listenFd_ < 0) return;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    {
        std::lock_guard<std::mutex> lock(g_fdsMutex);
        for (int fd : clientFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& client : clients_)
        client.join();
    for (int fd : clientFds_)
        ::close(fd);
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(path_.c_str());
}

} // namespace orbis::sim
