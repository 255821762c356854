// Starts orbis-printer-sim (from $ORBIS_BIN_DIR) on a root for tests, waits
// until it reports ready, and stops or kills it.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orbis::test {

inline std::string SimBinary() {
    const char* dir = std::getenv("ORBIS_BIN_DIR");
    return std::string(dir && *dir ? dir : ".") + "/orbis-printer-sim";
}

// A fresh directory under the system temporary directory, removed on destruction.
class TempRoot {
  public:
    TempRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orbis-sim-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempRoot() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

class SimProcess {
  public:
    // Starts the printer with "--root root" and the given arguments; Ready() tells whether it attached.
    SimProcess(const std::string& root, std::vector<std::string> args) {
        static int counter = 0;
        const std::string n = std::to_string(::getpid()) + "-" + std::to_string(++counter);
        const std::string ready = root + "/ready-" + n;
        args.insert(args.begin(), {SimBinary(), "--root", root, "--ready-file", ready, "--log",
                                   root + "/sim-" + n + ".log", "--verbose", "3"});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if ((pid_ = ::fork()) == 0) {
            (void)!::freopen("/dev/null", "w", stdout);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        // The ready file is the printer's only sign of life; a printer that ends early ends the wait.
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             !(ready_ = std::filesystem::exists(ready)) && std::chrono::steady_clock::now() < end;) {
            siginfo_t ended = {}; // looked at, not reaped: End() collects its status
            if (::waitid(P_PID, id_t(pid_), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid_)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~SimProcess() { Stop(); }
    bool Ready() const { return ready_; }

    // SIGTERM: the printer detaches. Returns its exit status, or -1 if it was stopped already.
    int Stop() { return End(SIGTERM); }
    // SIGKILL: the printer vanishes without detaching (an unplugged cable).
    int Kill() { return End(SIGKILL); }

  private:
    int End(int signal) {
        if (pid_ <= 0) return -1;
        int status = 0;
        ::kill(pid_, signal); // no effect on one that has ended already
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace orbis::test
