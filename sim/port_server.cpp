#include "port_server.h"

#include "device_wire.h"

#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>

namespace orbis::sim {

using Clock = std::chrono::steady_clock;

namespace {

// Whether the next n bytes take a connection that has carried `sent` to the drop
// limit (0: none); if so, n becomes what still goes out before it is dropped. A
// connection may have carried more than a limit set later (the control socket, or a
// pipe the host kept open): it is dropped at once then.
bool ReachesLimit(size_t limit, size_t sent, size_t* n) {
    if (!limit || sent + *n < limit) return false;
    *n = limit > sent ? limit - sent : 0;
    return true;
}

} // namespace

PortServer::PortServer(Engine& engine, TransportOptions options, std::string root, ActivityLog& log)
    : engine_(engine), options_(std::move(options)), root_(std::move(root)), log_(log),
      random_(options_.seed) {}

PortServer::~PortServer() {
    Stop();
}

void PortServer::Log(int level, const Port* port, const std::string& line) {
    log_.Write(level, port ? port->attachment.port : "printer", line);
}

bool PortServer::Attach(const PortAttachment& attachment, std::string* error) {
    auto port = std::make_unique<Port>();
    port->attachment = attachment;
    std::string dir = wire::DeviceDir(root_);
    ::mkdir(dir.c_str(), 0700); // the root exists; only its owner reaches the sockets
    port->socketPath = dir + "/" + attachment.port;

    int existing = wire::Connect(port->socketPath);
    if (existing >= 0) {
        ::close(existing);
        *error = attachment.port + " is already attached by another printer";
        return false;
    }
    ::unlink(port->socketPath.c_str()); // left behind by a printer that was killed

    sockaddr_un address;
    socklen_t length = 0;
    int dirFd = -1;
    if (!wire::MakeAddress(port->socketPath, &address, &length, &dirFd)) {
        *error = "socket path not usable: " + port->socketPath;
        return false;
    }
    port->listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = port->listenFd >= 0 &&
              ::bind(port->listenFd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
              ::chmod(port->socketPath.c_str(), 0600) == 0 && ::listen(port->listenFd, 16) == 0;
    if (dirFd >= 0) ::close(dirFd);
    if (!ok) {
        *error = "cannot serve " + port->socketPath + ": " + std::strerror(errno);
        if (port->listenFd >= 0) ::close(port->listenFd);
        return false;
    }

    // The description is what makes the port present; written whole or not at all.
    std::string devFile = port->socketPath + ".dev", temp = devFile + ".tmp";
    std::string text = "pid=" + std::to_string(::getpid()) + "\nkind=" + attachment.kind +
                       "\nport=" + attachment.port + "\n";
    for (const auto& path : attachment.paths)
        text += "path=" + path + "\n";
    // A new file, never one (or a link) somebody left at the name.
    ::unlink(temp.c_str());
    int devFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written =
        devFd >= 0 && ::write(devFd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (devFd >= 0) ::close(devFd);
    if (!written || std::rename(temp.c_str(), devFile.c_str()) != 0) {
        *error = "cannot write " + devFile;
        ::close(port->listenFd);
        ::unlink(port->socketPath.c_str());
        return false;
    }
    Port* raw = port.get();
    ports_.push_back(std::move(port));
    raw->acceptThread = std::thread([this, raw] { AcceptLoop(raw); });
    Log(1, raw, "attached as " + raw->socketPath);
    return true;
}

void PortServer::Stop() {
    if (stopping_.exchange(true)) return;
    for (auto& port : ports_) {
        ::unlink((port->socketPath + ".dev").c_str());
        ::shutdown(port->listenFd, SHUT_RDWR);
        { std::lock_guard<std::mutex> lock(port->queueMutex); }
        port->queueReady.notify_all();
    }
    for (auto& port : ports_) {
        if (port->acceptThread.joinable()) port->acceptThread.join();
        ::close(port->listenFd);
        ::unlink(port->socketPath.c_str());
        Log(1, port.get(), "detached");
    }
    std::list<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (auto& c : connections_)
            ::shutdown(c->fd, SHUT_RDWR);
        connections.swap(connections_);
    }
    for (auto& c : connections) {
        if (c->thread.joinable()) c->thread.join();
        ::close(c->fd);
    }
}

void PortServer::AcceptLoop(Port* port) {
    while (!stopping_) {
        int fd = ::accept4(port->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;
        }
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        if (stopping_) {
            ::close(fd);
            break;
        }
        // Finished connections are reaped here so a long run does not pile up threads.
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                ::close((*it)->fd);
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        Connection* raw = connection.get();
        connections_.push_back(std::move(connection));
        raw->thread = std::thread([this, port, raw] { Serve(port, raw); });
    }
}

void PortServer::SetOptions(const TransportOptions& options) {
    std::lock_guard<std::mutex> lock(optionsMutex_);
    options_ = options;
}

TransportOptions PortServer::Options() {
    std::lock_guard<std::mutex> lock(optionsMutex_);
    return options_;
}

std::vector<Bytes> PortServer::Cut(Port* port, const Bytes& unit, const TransportOptions& options) {
    if (options.pieces.empty()) return {unit};
    std::vector<Bytes> pieces;
    size_t at = 0;
    while (at < unit.size()) {
        int size = options.pieces[port->pieceIndex++ % options.pieces.size()];
        if (size < 0) {
            std::lock_guard<std::mutex> lock(randomMutex_);
            size = int(random_() % 64) + 1;
        }
        size_t n = std::min(unit.size() - at, size_t(std::max(size, 1)));
        pieces.emplace_back(unit.begin() + (ptrdiff_t)at, unit.begin() + (ptrdiff_t)(at + n));
        at += n;
    }
    return pieces;
}

bool PortServer::SendParallel(Port* port, int fd, const std::vector<Bytes>& units, size_t* sent) {
    const TransportOptions options = Options();
    for (const auto& unit : units) {
        if (options.replyDelayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(options.replyDelayMs));
        bool first = true;
        for (auto& piece : Cut(port, unit, options)) {
            if (!first && options.pieceDelayMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(options.pieceDelayMs));
            first = false;
            size_t n = piece.size();
            bool drop = ReachesLimit(options.dropAfter, *sent, &n);
            if (n && !wire::SendFrame(fd, wire::kData, piece.data(), n)) return false;
            *sent += n;
            if (drop) {
                Log(1, port, "connection dropped after " + std::to_string(*sent) + " bytes");
                return false;
            }
        }
    }
    return true;
}

void PortServer::QueueUsb(Port* port, const std::vector<Bytes>& units) {
    const TransportOptions options = Options();
    // A late reply waits in the printer's output, not in the connection that brought
    // its request: that connection goes on taking bytes, and what the printer says
    // later comes after it.
    std::lock_guard<std::mutex> lock(port->queueMutex);
    auto readyAt = Clock::now();
    for (const auto& unit : units) {
        readyAt += std::chrono::milliseconds(options.replyDelayMs);
        for (auto& piece : Cut(port, unit, options)) {
            port->queue.push_back({std::move(piece), readyAt});
            readyAt += std::chrono::milliseconds(options.pieceDelayMs);
        }
    }
    port->queueReady.notify_all();
}

bool PortServer::ServeRead(Port* port, int fd, uint32_t count, size_t* sent) {
    Bytes out;
    const TransportOptions options = Options();
    {
        std::unique_lock<std::mutex> lock(port->queueMutex);
        for (;;) {
            if (stopping_) return false;
            auto now = Clock::now();
            if (!port->queue.empty() && port->queue.front().readyAt <= now) break;
            auto wait = std::chrono::milliseconds(50);
            if (!port->queue.empty())
                wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          port->queue.front().readyAt - now + std::chrono::milliseconds(1)));
            port->queueReady.wait_for(lock, wait);
            // A reader that went away must not take a piece with it.
            pollfd p = {fd, POLLIN | POLLRDHUP, 0};
            if (::poll(&p, 1, 0) > 0) return false;
        }
        Piece& front = port->queue.front();
        size_t n = std::min<size_t>(count, front.bytes.size());
        bool drop = ReachesLimit(options.dropAfter, *sent, &n);
        out.assign(front.bytes.begin(), front.bytes.begin() + (ptrdiff_t)n);
        front.bytes.erase(front.bytes.begin(), front.bytes.begin() + (ptrdiff_t)n);
        if (front.bytes.empty()) port->queue.pop_front();
        if (drop) {
            if (n) wire::SendFrame(fd, wire::kData, out.data(), n);
            *sent += n;
            Log(1, port, "read pipe dropped after " + std::to_string(*sent) + " bytes");
            return false;
        }
    }
    Log(3, port, "piece out: " + Hex(out));
    if (!wire::SendFrame(fd, wire::kData, out.data(), out.size())) {
        // The reader went away as the piece was taken: it stays for the next one.
        std::lock_guard<std::mutex> lock(port->queueMutex);
        port->queue.push_front({std::move(out), Clock::now()});
        port->queueReady.notify_all();
        return false;
    }
    *sent += out.size();
    return true;
}

void PortServer::Serve(Port* port, Connection* connection) {
    int fd = connection->fd;
    uint8_t type = 0;
    Bytes payload;
    std::string pipe;
    if (wire::RecvFrame(fd, &type, &payload) && type == wire::kHello) {
        pipe.assign(payload.begin(), payload.end());
        bool usb = port->attachment.kind != "lpt";
        Log(2, port, "open " + (pipe.empty() ? std::string(usb ? "device" : "port") : pipe));
        Channel channel;
        size_t sent = 0;
        while (!stopping_ && wire::RecvFrame(fd, &type, &payload)) {
            if (type == wire::kDeviceIdRequest) {
                const std::string& id =
                    port->attachment.deviceId.empty() ? engine_.DeviceId() : port->attachment.deviceId;
                Log(2, port, "device ID asked");
                if (!wire::SendFrame(fd, wire::kDeviceId, id.data(), id.size())) break;
            } else if (type == wire::kData) {
                if (!port->attachment.deviceId.empty() || (usb && pipe != "PIPE00")) {
                    Log(2, port,
                        std::to_string(payload.size()) + " bytes on a pipe that takes none, ignored");
                    continue;
                }
                auto units = engine_.Feed(channel, payload);
                if (usb)
                    QueueUsb(port, units);
                else if (!SendParallel(port, fd, units, &sent))
                    break;
            } else if (type == wire::kReadRequest && usb && pipe == "PIPE01" && payload.size() == 4) {
                uint32_t count = uint32_t(payload[0]) << 24 | uint32_t(payload[1]) << 16 |
                                 uint32_t(payload[2]) << 8 | payload[3];
                if (!ServeRead(port, fd, count, &sent)) break;
            }
        }
        Log(2, port, "close " + (pipe.empty() ? std::string(usb ? "device" : "port") : pipe));
    }
    ::shutdown(fd, SHUT_RDWR);
    connection->done = true;
}

} // namespace orbis::sim
