// WinSystem: the one command line the library runs, "copy /b SRC DST",
// carried out here so that no shell is ever started.
#include "devices.h"
#include "device_problem.h"
#include "paths.h"

#include <atomic>
#include <cerrno>
#include <sstream>
#include <vector>

namespace orbis::platform {
namespace {

// Why a port did not take the copy, for the user.
std::string CauseOf(DWORD error) {
    switch (error) {
    case ERROR_NOT_READY:
        return "the printer is not ready (out of paper?)";
    case ERROR_SEM_TIMEOUT:
        return "the printer stopped taking data";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
        return "the printer is not connected";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_SHARING_VIOLATION:
        return "the port is in use by another program";
    default:
        return "error " + std::to_string(error);
    }
}

std::atomic<unsigned> g_failedPortCopies{0};

// The library only logs the copy's exit code, so a copy to a port that failed is
// counted and told here: settings that never reached the printer must not look applied.
int PortCopyFailed(const std::string& port, DWORD error) {
    std::string cause = HostDeviceProblem(); // the node's own, when its open failed
    if (cause.empty()) cause = CauseOf(error);
    NoteHostProblem("nothing or not all of the data reached " + port + ": " + cause);
    ++g_failedPortCopies;
    return 1;
}

// Copies SRC (a file) to DST (a file or a printer port). 0 on success, 1 on failure,
// as copy's exit code.
int CopyBinary(const std::string& source, const std::string& target) {
    const bool toPort = IsDeviceName(target);
    if (IsDeviceName(source)) return 1;
    ClearHostDeviceProblem();
    HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) return toPort ? PortCopyFailed(target, GetLastError()) : 1;
    HANDLE out =
        CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(in);
        return toPort ? PortCopyFailed(target, error) : 1;
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
            result = toPort ? PortCopyFailed(target, GetLastError()) : 1;
            break;
        }
    }
    CloseHandle(out);
    CloseHandle(in);
    return result;
}

} // namespace

unsigned FailedPortCopies() {
    return g_failedPortCopies.load();
}

} // namespace orbis::platform

int WinSystem(const char* command) {
    if (!command) return 0; // no command interpreter is available
    std::istringstream words(command);
    std::vector<std::string> parts;
    for (std::string word; words >> word;)
        parts.push_back(word);
    if (parts.size() != 4 || orbis::platform::UpperAscii(parts[0]) != "COPY" ||
        orbis::platform::UpperAscii(parts[1]) != "/B") {
        // A line the interpreter would refuse ("LPT1 extra" as the port) sends nothing either.
        if (parts.size() > 3 && orbis::platform::IsDeviceName(parts[3]))
            orbis::platform::PortCopyFailed(parts[3], ERROR_BAD_PATHNAME);
        errno = ENOEXEC;
        return -1;
    }
    return orbis::platform::CopyBinary(parts[2], parts[3]);
}
