#include "private_cupsd.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orbis::platformtest {

namespace {

const char kCupsd[] = "/usr/sbin/cupsd";
const char kLpadmin[] = "/usr/sbin/lpadmin";

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

// Runs a program with stdin from /dev/null; its output is appended to *output. -1 when it can't run.
int Run(const std::vector<std::string>& argv, std::string* output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[512];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output->append(buffer, size_t(got));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Connects(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// cupsd takes the make-and-model from *NickName; nothing else is needed to add a queue.
std::string Ppd(const std::string& nickName) {
    return "*PPD-Adobe: \"4.3\"\n*NickName: \"" + nickName + "\"\n";
}

} // namespace

bool PrivateCupsd::Installed() {
    return access(kCupsd, X_OK) == 0 && access(kLpadmin, X_OK) == 0;
}

PrivateCupsd::PrivateCupsd() {
    char templ[] = "/tmp/orbis-cupsd-XXXXXX";
    if (!mkdtemp(templ)) return;
    dir_ = templ;
    // The scheduler runs its helpers as its own user; they must reach these directories.
    chmod(dir_.c_str(), 0755);
    for (const char* sub : {"/root", "/state", "/cache", "/log", "/spool", "/bin", "/bin/backend"})
        mkdir((dir_ + sub).c_str(), 0755);
    // cupsd accepts a device URI only when a backend of its scheme exists.
    for (const char* scheme : {"usb", "parallel", "ipp", "socket"})
        Write(dir_ + "/bin/backend/" + scheme, "#!/bin/sh\nexit 0\n", 0755);
    socket_ = dir_ + "/cups.sock";
    // No authentication anywhere: lpadmin needs no password, and only this test can reach the socket.
    Write(dir_ + "/cupsd.conf", "Listen " + socket_ + "\nLogLevel info\nBrowsing No\nWebInterface No\n" +
                                    "<Location />\nAllow all\n</Location>\n" +
                                    "<Policy default>\n<Limit All>\nAllow all\n</Limit>\n</Policy>\n");
    // Every place cupsd writes to is under the directory, the printcap too.
    std::string files;
    for (const char* entry : {"ServerRoot /root", "StateDir /state", "CacheDir /cache", "ServerBin /bin",
                              "RequestRoot /spool", "TempDir /spool", "AccessLog /log/access_log",
                              "ErrorLog /log/error_log", "PageLog /log/page_log", "Printcap /printcap"}) {
        std::string line = entry;
        files += line.insert(line.find(' ') + 1, dir_) + "\n";
    }
    Write(dir_ + "/cups-files.conf", files);

    std::string conf = dir_ + "/cupsd.conf", filesConf = dir_ + "/cups-files.conf";
    pid_ = fork();
    if (pid_ == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", filesConf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) return;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        if (Connects(socket_)) {
            ready_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

PrivateCupsd::~PrivateCupsd() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

std::string PrivateCupsd::Diagnostics() const {
    std::ifstream log(dir_ + "/log/error_log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    return "lpadmin: " + lpadminOutput_ + "\ncupsd error_log:\n" + text;
}

bool PrivateCupsd::Lpadmin(const std::initializer_list<std::string>& args) {
    std::vector<std::string> argv = {kLpadmin, "-h", socket_};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv, &lpadminOutput_) == 0;
}

bool PrivateCupsd::AddPrinter(const std::string& name, const std::string& uri,
                              const std::string& makeAndModel) {
    std::string ppd = dir_ + "/" + name + ".ppd";
    Write(ppd, Ppd(makeAndModel));
    return Lpadmin({"-p", name, "-v", uri, "-P", ppd, "-E"});
}

bool PrivateCupsd::DeletePrinter(const std::string& name) {
    return Lpadmin({"-x", name});
}

SilentServer::SilentServer(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    unlink(path.c_str());
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 8) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

SilentServer::~SilentServer() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
}

} // namespace orbis::platformtest
