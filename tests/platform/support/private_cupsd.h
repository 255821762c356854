// A CUPS scheduler of a test's own: configuration, state, spool, logs and its
// domain socket in a temporary directory, its backends tiny scripts, run in the
// foreground as a child and killed at the end. Nothing of the system's CUPS is used.
#pragma once

#include <string>
#include <sys/types.h>

namespace orbis::platformtest {

class PrivateCupsd {
  public:
    static bool Installed(); // cupsd and lpadmin are there
    PrivateCupsd();          // starts the scheduler and waits until its socket answers
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    bool Running() const { return ready_; }
    const std::string& Socket() const { return socket_; }
    std::string Diagnostics() const; // lpadmin's output and the scheduler's error log
    // Adds or changes a queue: lpadmin -p NAME -v URI -P <a PPD whose *NickName is makeAndModel> -E
    bool AddPrinter(const std::string& name, const std::string& uri, const std::string& makeAndModel);

  private:
    std::string dir_, socket_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace orbis::platformtest
