// The printer's control socket: a test or a fault campaign connects and sends
// lines; each line is answered with one line. See docs/simulator.md.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orbis::sim {

class ControlServer {
  public:
    using Handler = std::function<std::string(const std::string& line)>; // the answer, without newline
    ~ControlServer();
    bool Start(const std::string& path, Handler handler, std::string* error);
    void Stop();

  private:
    void Serve(int fd);
    std::string path_;
    Handler handler_;
    int listenFd_ = -1;
    std::thread acceptThread_;
    std::vector<std::thread> clients_; // touched by acceptThread_ until it is joined
    std::vector<int> clientFds_;
};

} // namespace orbis::sim
