// FormatMessageA for the few errors the library meets on its ports. Windows
// knows no more than the code; here a failed open of a host node also says
// which node and what the user can do, so the library's log can tell it.
#include "device_problem.h"

#include "../win32.h"

#include <cstring>
#include <string>

namespace {

const char* SystemText(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_NOT_READY:
        return "The device is not ready.";
    case ERROR_GEN_FAILURE:
        return "A device attached to the system is not functioning.";
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another process.";
    case ERROR_SEM_TIMEOUT:
        return "The semaphore timeout period has expired.";
    case ERROR_DEVICE_NOT_CONNECTED:
        return "The device is not connected.";
    default:
        return nullptr;
    }
}

} // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize, void*) {
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* known = SystemText(dwMessageId);
    if (!known) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::string text = known;
    if (std::string cause = orbis::platform::ThreadOpenCause(); !cause.empty()) text += " (" + cause + ")";
    text += "\r\n";
    if (text.size() + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}
