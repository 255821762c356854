// Where Windows names land on this machine: the root, drive letters, the
// current directory and the temporary directory.
#include "paths.h"

#include "../orbis_platform.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace orbis::platform {

bool MakeDirectories(const std::string& hostPath) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    for (size_t pos = 1; pos <= hostPath.size(); ++pos) {
        if (pos != hostPath.size() && hostPath[pos] != '/') continue;
        std::string prefix = hostPath.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Root() {
    std::string root;
    if (const char* env = std::getenv("ORBIS_ROOT"); env && *env) {
        root = env;
    } else if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        root = std::string(state) + "/orbis-lp2200";
    } else {
        const char* home = std::getenv("HOME");
        root = std::string(home && *home ? home : "/tmp") + "/.local/state/orbis-lp2200";
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    MakeDirectories(root); // checked every call: a test may remove a root and use it again
    return root;
}

std::string MapPath(const std::string& windowsPath) {
    std::string path = windowsPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        std::string drive =
            Root() + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
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
    return std::fopen(MapPath(path).c_str(), mode);
}

char* _strtime(char* buffer) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(buffer, 9, "%H:%M:%S", &local);
    return buffer;
}
