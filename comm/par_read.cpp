// The parallel read primitive: reads until the wanted count is in or the port's
// read timeout expires once, so callers see short counts and decide themselves.
#include "dvc_internal.h"

#define PAR_READ_GIVE_UP_MS 10000

BOOL ParNT95ReadFile(HANDLE handle, LPVOID buffer, DWORD wanted, LPDWORD read, LPOVERLAPPED overlapped) {
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    DWORD total = 0;
    DWORD thisPass = 0;
    BOOL rc = TRUE;
    *read = 0;
    DvcLog(DVC_LOG_STEPS, "ParNT95ReadFile()\n");
    DWORD start = GetTickCount();
    while (total < wanted) {
        thisPass = 0;
        rc = ReadFile(handle, bytes + total, wanted - total, &thisPass, overlapped);
        total += thisPass;
        if (thisPass == 0 && GetTickCount() - start > PAR_READ_GIVE_UP_MS) {
            // A single read that blocked past the limit counts as a dead port.
            rc = FALSE;
            break;
        }
        if (!rc || thisPass == 0) break;
    }
    DWORD error = rc ? 0 : GetLastError();
    DvcLog(DVC_LOG_STEPS,
           "ParNT95ReadFile() - after while() - bRc=%d, dwBytesReadOnThisPass=%d, dwBytesLeftToRead=%d\n", rc,
           (int)thisPass, (int)(wanted - total));
    // Even a read that brought nothing logs its dump (just the empty line).
    DvcLogHex(bytes, static_cast<uint16_t>(total > 0xFFFF ? 0xFFFF : total));
    *read = total;
    if (!rc) {
        DvcLog(DVC_LOG_STEPS, "after readFile() getLastError: %d \n", (int)error);
        SetLastError(error);
    }
    return rc;
}
