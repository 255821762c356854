// Links the Windows stand-in without the simulated ports and the host's devices:
// it must build on its own, and with no source registered a port is not found.
#include "win32.h"

#include <cstdio>

int main() {
    HANDLE port = CreateFileA("LPT1", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD error = GetLastError();
    if (port != INVALID_HANDLE_VALUE || error != ERROR_FILE_NOT_FOUND) {
        std::fprintf(stderr, "LPT1 without sources: handle %p, error %lu\n", port, (unsigned long)error);
        return 1;
    }
    return 0;
}
