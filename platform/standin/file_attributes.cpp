// GetFileAttributesA and GetModuleFileNameA: whether a file is there, and where
// the program itself lives (the installed data directory is found from it).
#include "../orbis_platform.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace orbis::platform;

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    struct stat st;
    if (!lpFileName || !*lpFileName || ::stat(MapPath(lpFileName).c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (hModule || !lpFilename || nSize == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    // As Windows: a short buffer gets the name cut to nSize - 1 characters and nSize is returned.
    DWORD length = static_cast<DWORD>(n);
    DWORD copied = length < nSize ? length : nSize - 1;
    std::memcpy(lpFilename, path, copied);
    lpFilename[copied] = '\0';
    if (copied < length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return length;
}
