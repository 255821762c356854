// WinSystem: the one command line the library runs, "copy /b SRC DST",
// carried out here so that no shell is ever started.
#include "devices.h"
#include "paths.h"

#include <cerrno>
#include <sstream>
#include <vector>

namespace orbis::platform {
namespace {

// Copies SRC (a file) to DST (a file or a printer port). 0 on success, 1 on failure,
// as copy's exit code.
int CopyBinary(const std::string& source, const std::string& target) {
    if (IsDeviceName(source)) return 1;
    HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) return 1;
    HANDLE out =
        CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return 1;
    }
    std::vector<char> buffer(64 * 1024);
    int result = 0;
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            result = 1;
            break;
        }
        if (got == 0) break;
        if (!WriteFile(out, buffer.data(), got, &written, nullptr) || written != got) {
            result = 1;
            break;
        }
    }
    CloseHandle(out);
    CloseHandle(in);
    return result;
}

} // namespace
} // namespace orbis::platform

int WinSystem(const char* command) {
    if (!command) return 0; // no command interpreter is available
    std::istringstream words(command);
    std::vector<std::string> parts;
    for (std::string word; words >> word;)
        parts.push_back(word);
    if (parts.size() != 4 || orbis::platform::UpperAscii(parts[0]) != "COPY" ||
        orbis::platform::UpperAscii(parts[1]) != "/B") {
        errno = ENOEXEC;
        return -1;
    }
    return orbis::platform::CopyBinary(parts[2], parts[3]);
}
