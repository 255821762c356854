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
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        path_ = ::mkdtemp(buffer.data());
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
        readyFile_ = root + "/ready-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        std::vector<std::string> argv = {SimBinary(),
                                         "--root",
                                         root,
                                         "--ready-file",
                                         readyFile_,
                                         "--log",
                                         root + "/sim-" + std::to_string(counter) + ".log",
                                         "--verbose",
                                         "3"};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> raw;
            for (auto& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            if (!std::getenv("ORBIS_SIM_SHOW")) {
                (void)!::freopen("/dev/null", "w", stdout);
            }
            ::execv(raw[0], raw.data());
            ::_exit(127);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(readyFile_)) {
                ready_ = true;
                break;
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~SimProcess() { Stop(); }
    bool Ready() const { return ready_; }
    pid_t Pid() const { return pid_; }

    // SIGTERM: the printer detaches. Returns its exit status (-1 if it was not running).
    int Stop() { return End(SIGTERM); }
    // SIGKILL: the printer vanishes without detaching (an unplugged cable).
    int Kill() { return End(SIGKILL); }

  private:
    int End(int signal) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string readyFile_;
};

} // namespace orbis::test
