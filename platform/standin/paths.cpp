// Where Windows names land on this machine: the root, drive letters, the
// current directory and the temporary directory.
#include "paths.h"

#include "../orbis_platform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace orbis::platform {

bool MakeDirectories(const std::string& hostPath) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    for (size_t pos = 1; pos <= hostPath.size(); ++pos) {
        if (pos != hostPath.size() && hostPath[pos] != '/') continue;
        std::string prefix = hostPath.substr(0, pos);
        // Only for this user: the log holds command dumps, the hive the settings.
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

namespace {

// Why a root must not be used, "" when it may: another user could plant links in it,
// read the log or replace the hive.
std::string RootRefusal(const std::string& root, bool sharedParent) {
    struct stat st;
    // In a shared directory the name itself may be somebody's link.
    int rc = sharedParent ? ::lstat(root.c_str(), &st) : ::stat(root.c_str(), &st);
    if (rc != 0) return std::string("cannot be created (") + std::strerror(errno) + ")";
    if (!S_ISDIR(st.st_mode)) return "is not a directory";
    if (st.st_uid != ::geteuid())
        return "belongs to user " + std::to_string(st.st_uid) + ", not to you (" +
               std::to_string(::geteuid()) + ")";
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return std::string("may be written by other users (mode ") + mode + "; chmod 700 it)";
    }
    // Ours and closed to writers, but perhaps readable from an older version: made private.
    if ((st.st_mode & 077) && ::chmod(root.c_str(), 0700) != 0)
        return std::string("cannot be made private (") + std::strerror(errno) + ")";
    return "";
}

void SayRefusedOnce(const std::string& root, const std::string& why) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard lock(mutex);
    if (said.insert(root + why).second)
        std::fprintf(stderr, "orbis: not using the directory %s: it %s\n", root.c_str(), why.c_str());
}

// The root's name; *sharedParent when it lies in the shared temporary directory.
std::string RootName(bool* sharedParent) {
    std::string root;
    if (const char* env = std::getenv("ORBIS_ROOT"); env && *env) {
        root = env;
    } else if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        root = std::string(state) + "/orbis-lp2200";
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        root = std::string(home) + "/.local/state/orbis-lp2200";
    } else if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir && *user->pw_dir) {
        root = std::string(user->pw_dir) + "/.local/state/orbis-lp2200";
    } else {
        // No home at all: a name of this user's own in the shared temporary directory.
        root = "/tmp/orbis-lp2200-" + std::to_string(::geteuid());
        *sharedParent = true;
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

} // namespace

std::string RootName() {
    bool sharedParent = false;
    return RootName(&sharedParent);
}

std::string Root() {
    bool sharedParent = false;
    const std::string root = RootName(&sharedParent);
    // Checked every call (a test may remove a root and use it again), with one
    // look when it is what it should be: a directory of ours closed to others.
    // In a shared directory the name itself may be somebody's link.
    struct stat st;
    if ((sharedParent ? ::lstat(root.c_str(), &st) : ::stat(root.c_str(), &st)) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && !(st.st_mode & 077))
        return root;
    MakeDirectories(root);
    std::string why = RootRefusal(root, sharedParent);
    if (why.empty()) return root;
    SayRefusedOnce(root, why);
    return "";
}

std::string MapPath(const std::string& windowsPath) {
    std::string path = windowsPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        std::string root = Root();
        if (root.empty()) return ""; // refused: no drive letter leads anywhere
        std::string drive = root + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
        MakeDirectories(drive); // the drive itself always exists
        std::string rest = path.substr(2);
        while (!rest.empty() && rest[0] == '/')
            rest.erase(0, 1);
        return rest.empty() ? drive : drive + "/" + rest;
    }
    if (windowsPath.size() >= 2 && windowsPath[0] == '\\' && windowsPath[1] != '\\') {
        // "\dir\file": the root of the current drive, which is C:
        return MapPath("C:" + windowsPath);
    }
    return path;
}

} // namespace orbis::platform

using namespace orbis::platform;

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    static const char kTemp[] = "C:\\Temp\\";
    MakeDirectories(MapPath(kTemp));
    const DWORD length = sizeof(kTemp) - 1;
    if (!lpBuffer || nBufferLength < length + 1) return length + 1;
    std::memcpy(lpBuffer, kTemp, length + 1);
    return length;
}

FILE* WinFopen(const char* path, const char* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    std::string host = MapPath(path);
    if (host.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    if (!std::strpbrk(mode, "wa+")) return std::fopen(host.c_str(), mode);
    // Writing: never through a link planted at the name, and new files for this user only.
    // O_NONBLOCK: a FIFO put at the name must not hold the program; cleared once it is a file.
    int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_CREAT | (std::strchr(mode, '+') ? O_RDWR : O_WRONLY);
    if (mode[0] == 'w') flags |= O_TRUNC;
    if (mode[0] == 'a') flags |= O_APPEND;
    if (mode[0] == 'r') flags &= ~O_CREAT;
    int fd;
    do
        fd = ::open(host.c_str(), flags, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EACCES;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = ::fdopen(fd, mode);
    if (!file) ::close(fd);
    return file;
}

char* _strtime(char* buffer) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(buffer, 9, "%H:%M:%S", &local);
    return buffer;
}
