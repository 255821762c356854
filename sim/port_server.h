// Serves the printer's ports: one Unix-domain socket per attached port under
// <root>/dev, one thread per connection. A parallel port answers on the
// connection that asked; a USB printer queues its output in pieces that the
// read pipe ("PIPE01") hands out one read request at a time.
#pragma once

#include "activity_log.h"
#include "engine.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace orbis::sim {

struct TransportOptions {
    int replyDelayMs = 0;    // before each answer
    std::vector<int> pieces; // sizes the output is cut into, cycled; -1 = random 1..64; empty = whole answers
    int pieceDelayMs = 0;    // between pieces
    size_t dropAfter = 0;    // >0: a connection is dropped once this many bytes went out on it
    unsigned seed = 1;
};

struct PortAttachment {
    std::string port;               // "LPT1", "USB001", "USBDEV001"
    std::string kind;               // "lpt", "usb", "usb-other"
    std::vector<std::string> paths; // USB device paths
    std::string deviceId;           // overrides the engine's (a device that is no printer)
};

class PortServer {
  public:
    PortServer(Engine& engine, TransportOptions options, std::string root, ActivityLog& log);
    ~PortServer();
    bool Attach(const PortAttachment& attachment, std::string* error);
    // Closes every socket and connection and removes the device files.
    void Stop();
    // Replaces the transport faults while the printer runs; each answer uses
    // the options in force when it started.
    void SetOptions(const TransportOptions& options);

  private:
    struct Piece {
        Bytes bytes;
        std::chrono::steady_clock::time_point readyAt;
    };
    struct Port {
        PortAttachment attachment;
        std::string socketPath;
        int listenFd = -1;
        std::thread acceptThread;
        std::mutex queueMutex;
        std::condition_variable queueReady;
        std::deque<Piece> queue; // USB output not yet read
        size_t pieceIndex = 0;   // position in the piece-size cycle
    };
    struct Connection {
        int fd;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void AcceptLoop(Port* port);
    void Serve(Port* port, Connection* connection);
    bool SendParallel(Port* port, int fd, const std::vector<Bytes>& units, size_t* sent);
    void QueueUsb(Port* port, const std::vector<Bytes>& units);
    bool ServeRead(Port* port, int fd, uint32_t count, size_t* sent);
    std::vector<Bytes> Cut(Port* port, const Bytes& unit, const TransportOptions& options);
    TransportOptions Options();
    void Log(int level, const Port* port, const std::string& line);

    Engine& engine_;
    std::mutex optionsMutex_;
    TransportOptions options_; // under optionsMutex_
    std::string root_;
    ActivityLog& log_;
    std::atomic<bool> stopping_{false};
    std::mutex randomMutex_;
    std::mt19937 random_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::mutex connectionsMutex_;
    std::list<std::unique_ptr<Connection>> connections_;
};

} // namespace orbis::sim
