#include "private_cupsd.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace orbis::platformtest {

namespace {

const char kCupsd[] = "/usr/sbin/cupsd";
const char kLpadmin[] = "/usr/sbin/lpadmin";

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

bool Answers(const std::string& socket) {
    sockaddr_un address = {AF_UNIX, {}};
    socket.copy(address.sun_path, sizeof address.sun_path - 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool answers = connect(fd, (sockaddr*)&address, sizeof address) == 0;
    close(fd);
    return answers;
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
    for (const char* sub : {"/root", "/state", "/cache", "/log", "/spool", "/bin/backend"})
        std::filesystem::create_directories(dir_ + sub);
    // cupsd accepts a device URI only when a backend of its scheme exists.
    for (const char* scheme : {"usb", "parallel", "ipp"})
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
        for (int fd : {0, 1, 2})
            dup2(null, fd);
        execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", filesConf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Up to 20 s for the socket to answer, unless the scheduler ends first.
    for (int i = 0; i < 400 && pid_ > 0 && !ready_; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
        ready_ = Answers(socket_);
        if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

PrivateCupsd::~PrivateCupsd() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::string PrivateCupsd::Diagnostics() const {
    return "lpadmin: " + Read(dir_ + "/lpadmin.log") + "\ncupsd error_log:\n" + Read(dir_ + "/log/error_log");
}

bool PrivateCupsd::AddPrinter(const std::string& name, const std::string& uri,
                              const std::string& makeAndModel) {
    // cupsd takes the make-and-model from *NickName; nothing else is needed to add a queue.
    std::string ppd = dir_ + "/" + name + ".ppd";
    Write(ppd, "*PPD-Adobe: \"4.3\"\n*NickName: \"" + makeAndModel + "\"\n");
    std::string command = std::string(kLpadmin) + " -h '" + socket_ + "' -p '" + name + "' -v '" + uri +
                          "' -P '" + ppd + "' -E </dev/null >>'" + dir_ + "/lpadmin.log' 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace orbis::platformtest
