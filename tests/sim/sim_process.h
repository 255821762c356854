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
#include <utility>
#include <unistd.h>
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
        readyFile_ = root + "/ready-" + n;
        args.insert(args.begin(), {SimBinary(), "--root", root, "--ready-file", readyFile_, "--log",
                                   root + "/sim-" + n + ".log", "--verbose", "3"});
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> raw;
            for (auto& a : args)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            if (!std::getenv("ORBIS_SIM_SHOW")) (void)!::freopen("/dev/null", "w", stdout);
            ::execv(raw[0], raw.data());
            ::_exit(127);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline &&
               !(ready_ = std::filesystem::exists(readyFile_))) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                exited_ = Status(status);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~SimProcess() { Stop(); }
    bool Ready() const { return ready_; }
    pid_t Pid() const { return pid_; }

    // SIGTERM: the printer detaches. Returns its exit status (-1 if it was not started or was stopped
    // already; the status it ended with if it ended by itself before it was ready).
    int Stop() { return End(SIGTERM); }
    // SIGKILL: the printer vanishes without detaching (an unplugged cable).
    int Kill() { return End(SIGKILL); }

  private:
    static int Status(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }
    int End(int signal) {
        if (pid_ <= 0) return std::exchange(exited_, -1);
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return Status(status);
    }
    pid_t pid_ = -1;
    bool ready_ = false;
    int exited_ = -1;
    std::string readyFile_;
};

} // namespace orbis::test
