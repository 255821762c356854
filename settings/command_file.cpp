// Saving settings into a command file without ever leaving a broken one: the
// commands go into a new file beside it, which replaces the old file only once
// every command is in.
#include "npa_exchange.h"

#include "win32.h"

#include <cstring>

namespace {

bool IsPrinterPort(const std::string& name) {
    return name.rfind("LPT", 0) == 0 || name.rfind("USB", 0) == 0;
}

// The directory part of a Windows or host path, "." for a bare name. A
// directory whose name looks like a port gets ".\" so the library still
// takes the file beside it for a file.
std::string DirectoryOf(const std::string& path) {
    size_t last = path.find_last_of("\\/");
    if (last == std::string::npos) return ".";
    std::string dir = last == 0 ? path.substr(0, 1) : path.substr(0, last);
    return IsPrinterPort(dir) ? ".\\" + dir : dir;
}

} // namespace

int SaveSettingsFile(const char* path, const std::vector<std::string>& changes) {
    std::string target = path ? path : "";
    // A port name is a printer, written as it always was.
    if (target.empty() || IsPrinterPort(target)) return WritePrinterSettings(target.c_str(), changes);

    char temp[MAX_PATH];
    if (GetTempFileNameA(DirectoryOf(target).c_str(), "npa", 0, temp) == 0) return kOpenFailed;
    int result = WritePrinterSettings(temp, changes);
    if (result == 0 && !MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING)) result = kWriteFailed;
    if (result != 0) DeleteFileA(temp);
    return result;
}
