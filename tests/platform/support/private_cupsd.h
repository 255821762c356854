// A CUPS scheduler of a test's own: configuration, state, spool, logs and its
// domain socket in a temporary directory, its backends tiny scripts, run in the
// foreground as a child and killed at the end. Nothing of the system's CUPS is used.
#pragma once

#include <string>
#include <sys/types.h>

namespace orbis::platformtest {

class PrivateCupsd {
  public:
    // False when cupsd or lpadmin is not installed.
    static bool Installed();

    PrivateCupsd(); // starts the scheduler and waits until its socket answers
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    bool Running() const { return ready_; }
    const std::string& Socket() const { return socket_; }
    // What went wrong so far: lpadmin's output and the scheduler's error log.
    std::string Diagnostics() const;

    // lpadmin -p NAME -v URI -P <a PPD whose *NickName is makeAndModel> -E
    bool AddPrinter(const std::string& name, const std::string& uri, const std::string& makeAndModel);
    bool DeletePrinter(const std::string& name);

  private:
    bool Lpadmin(const std::initializer_list<std::string>& args);

    std::string dir_, socket_, lpadminOutput_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// A domain socket that accepts connections and never answers.
class SilentServer {
  public:
    explicit SilentServer(const std::string& path);
    ~SilentServer();
    bool Listening() const { return fd_ >= 0; }

  private:
    std::string path_;
    int fd_ = -1;
};

} // namespace orbis::platformtest
