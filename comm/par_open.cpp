// Opening a parallel port: on the NT family the write-only workaround through a
// temporary command file; on the 95 family the direct open with device-ID
// recognition and the PJL inquiry that tells the printer's NPA mode.
#include "dvc_internal.h"

#include <cstring>

#define PAR_IOCTL_GET_DEVICE_ID 0x11
#define PAR_DEVICE_ID_SIZE 4096
#define PAR_INQUIRY_REPLY_SIZE 128

static const char* const kFamilyMarkers[] = {"Vantrel", "VNPAP",    "vnpap",    "Vnpap",   " NPAP,",
                                             " NPAP;",  "CPDNPA00", "cpdnpa00", "Cpdnpa00"};

// ESC %-12345X @PJL DINQUIRE VNPAP CR LF ESC %-12345X
static const char kPjlInquiry[] = "\x1b%-12345X@PJL DINQUIRE VNPAP\r\n\x1b%-12345X";
static_assert(sizeof(kPjlInquiry) - 1 == 39, "the PJL inquiry is 39 bytes");

const char* ParFamilyMarker(const char* deviceId) {
    if (!deviceId) return nullptr;
    for (const char* marker : kFamilyMarkers)
        if (std::strstr(deviceId, marker)) return marker;
    return nullptr;
}

bool IsRecognizedPrinter(const char* deviceId) {
    return ParFamilyMarker(deviceId) != nullptr;
}

HANDLE ParNT95CreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
    SetLastError(0);
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

bool BceEnumGetDeviceID(HANDLE port, char* buffer, DWORD size, DWORD* returned) {
    *returned = 0;
    BOOL ok = DeviceIoControl(port, PAR_IOCTL_GET_DEVICE_ID, nullptr, 0, buffer, size, returned, nullptr);
    if (ok) {
        if (*returned > size) *returned = size;
        DvcLog(DVC_LOG_STEPS, "Device ID String = %s \n", buffer);
    } else {
        DvcLog(DVC_LOG_STEPS, "Get Device ID Error : %d \n", (int)GetLastError());
    }
    return ok != FALSE;
}

// The reply is looked at as text of exactly the received count.
static bool ReplyContains(const unsigned char* bytes, DWORD count, const char* word) {
    size_t length = std::strlen(word);
    for (DWORD i = 0; i + length <= count; ++i)
        if (std::memcmp(bytes + i, word, length) == 0) return true;
    return false;
}

int CheckPJLQueryResponse(const unsigned char* bytes, DWORD count) {
    if (count == 0) {
        DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - no bytes, returning NPA_OFF\n");
        return NPA_OFF;
    }
    if (bytes[0] == 0xA5) {
        DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - looks like NPA\n");
        if (count >= 5 && bytes[2] == 2 && (bytes[3] & 0x80) && bytes[4] == 0) {
            DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - looks like NPA_ON\n");
            return NPA_ON;
        }
        DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - returning -1\n");
        return -1;
    }
    if (ReplyContains(bytes, count, "@PJL")) {
        DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - looks like PJL\n");
        // OFF first: a reply holding both words counts as switched off.
        if (ReplyContains(bytes, count, "OFF")) return NPA_OFF;
        if (ReplyContains(bytes, count, "AUTO")) return NPA_AUTO;
        DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - I give up, returning NPA_OFF\n");
        return NPA_OFF;
    }
    DvcLog(DVC_LOG_STEPS, "CheckPJLQueryResponse() - no bytes, returning NPA_OFF\n");
    return NPA_OFF;
}

int SendNpaActiveQuery(HANDLE port) {
    DWORD written = 0;
    if (!WriteFile(port, kPjlInquiry, sizeof(kPjlInquiry) - 1, &written, nullptr)) {
        DvcLog(DVC_LOG_STEPS, "SendNpaActiveQuery() - rc=%d, returning NPA_OFF\n", (int)GetLastError());
        return NPA_OFF;
    }
    unsigned char reply[PAR_INQUIRY_REPLY_SIZE] = {};
    DWORD got = 0;
    if (!ParNT95ReadFile(port, reply, sizeof(reply), &got, nullptr)) {
        DvcLog(DVC_LOG_STEPS, "SendNpaActiveQuery() - rc=%d, returning NPA_OFF\n", (int)GetLastError());
        return NPA_OFF;
    }
    if (got == 0) {
        DvcLog(DVC_LOG_STEPS, "SendNpaActiveQuery() - no bytes received, returning NPA_AUTO\n");
        return NPA_AUTO;
    }
    return CheckPJLQueryResponse(reply, got);
}

int IsNpaActive(HANDLE port, const char* deviceId) {
    if (deviceId && (std::strstr(deviceId, "VNPAP") || std::strstr(deviceId, "CPDNPA001"))) {
        DvcLog(DVC_LOG_STEPS, "IsNpaActive() - VNPAP or CPD, returning NPA_AUTO\n");
        return NPA_AUTO;
    }
    COMMTIMEOUTS saved = {};
    bool restore = GetCommTimeouts(port, &saved) != FALSE;
    DvcLog(DVC_LOG_STEPS, restore ? "IsNpaActive() - RestoreTimeouts = TRUE\n"
                                  : "IsNpaActive() - RestoreTimeouts = FALSE\n");
    COMMTIMEOUTS inquiry = {50, 5, 2500, 10, 2500};
    SetCommTimeouts(port, &inquiry);

    int mode = SendNpaActiveQuery(port);
    if (mode == -1) mode = SendNpaActiveQuery(port);
    if (mode == -1) {
        DvcLog(DVC_LOG_STEPS, "IsNpaActive() - NPA_OFF\n");
        mode = NPA_OFF;
    }
    if (restore) SetCommTimeouts(port, &saved);
    return mode;
}

// The port handle is of no use after a failed open; nothing counts as open.
static int FailOpen(int result) {
    CloseHandle(G_hPort);
    G_hPort = INVALID_HANDLE_VALUE;
    G_szPortName[0] = '\0';
    G_szDeviceId[0] = '\0';
    return result;
}

// The collected commands reach the printer only through "copy /b FILE PORT" at
// the close, whose result the close does not report. A port that cannot take
// that copy (no such port, not writable, a name the command line splits) fails
// the open instead of an apply that looks done and sent nothing.
static bool PortTakesCopy(const char* portName) {
    if (std::strpbrk(portName, " \t")) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    HANDLE port = ParNT95CreateFile(portName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    CloseHandle(port);
    return true;
}

static int OpenUnidirectional(const char* portName) {
    if (!PortTakesCopy(portName)) {
        DWORD error = GetLastError();
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Unidirectional workaround) - failed, last error was %d\n",
               (int)error);
        DvcLogErrorText(DVC_LOG_ENTRY, error);
        return DVC_FAIL;
    }
    char tempDir[MAX_PATH + 1] = {};
    DWORD dirLength = GetTempPathA(MAX_PATH, tempDir);
    if (dirLength == 0 || dirLength > MAX_PATH ||
        GetTempFileNameA(tempDir, portName, 0, G_szCommandFile) == 0) {
        G_szCommandFile[0] = '\0';
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Unidirectional workaround) - failed, last error was %d\n",
               (int)GetLastError());
        return DVC_FAIL;
    }
    G_hPort = CreateFileA(G_szCommandFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (G_hPort == INVALID_HANDLE_VALUE) {
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Unidirectional workaround) - failed, last error was %d\n",
               (int)GetLastError());
        return DVC_FAIL;
    }
    DvcLog(DVC_LOG_STEPS, "DvcOpenPort(Unidirectional workaround) - CreateFile() worked\n");
    G_bUnidirectional = true;
    G_NpaMode = NPA_AUTO;
    std::strncpy(G_szPortName, portName, sizeof(G_szPortName) - 1);
    G_szPortName[sizeof(G_szPortName) - 1] = '\0';
    G_szDevicePath[0] = '\0';
    G_szDeviceId[0] = '\0';
    return DVC_OPEN_UNIDIRECTIONAL;
}

static int OpenDirect(const char* portName) {
    G_hPort = ParNT95CreateFile(portName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (G_hPort == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DvcLog(DVC_LOG_STEPS, "DvcOpenPort(Parallel) - ParNt95CreateFile() failed, last error was %d\n",
               (int)error);
        DvcLogErrorText(DVC_LOG_STEPS, error);
        return DVC_FAIL;
    }

    // One byte more than the driver may fill keeps a full-length ID terminated.
    char deviceId[PAR_DEVICE_ID_SIZE + 1] = {};
    DWORD idLength = 0;
    if (!BceEnumGetDeviceID(G_hPort, deviceId, PAR_DEVICE_ID_SIZE, &idLength)) return FailOpen(DVC_NOT_OPEN);

    DvcLog(DVC_LOG_STEPS, "DvcOpenPort(Parallel) - BceEnumGetDeviceID worked\n");
    if (!IsRecognizedPrinter(deviceId)) {
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Parallel) - not a recognized printer\n");
        return FailOpen(DVC_REFUSED);
    }
    DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Parallel) - printer recognized\n");

    int mode = IsNpaActive(G_hPort, deviceId);
    switch (mode) {
    case NPA_ON:
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Parallel) - IsNpaActive() returned NPA_ON\n");
        break;
    case NPA_AUTO:
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Parallel) - IsNpaActive() returned NPA_AUTO\n");
        break;
    default:
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Parallel) - IsNpaActive() returned NPA_OFF\n");
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(Parallel) - IsNpaActive() returned NPA_OFF\n");
        return FailOpen(DVC_CMD_FAIL);
    }

    G_NpaMode = static_cast<uint16_t>(mode);
    std::strncpy(G_szPortName, portName, sizeof(G_szPortName) - 1);
    G_szPortName[sizeof(G_szPortName) - 1] = '\0';
    if (idLength > PAR_DEVICE_ID_SIZE) idLength = PAR_DEVICE_ID_SIZE;
    std::memcpy(G_szDeviceId, deviceId, idLength);
    G_szDeviceId[idLength] = '\0';
    return DVC_OK;
}

int ParOpenPort(const char* portName) {
    if (G_OsKind == 2) return OpenUnidirectional(portName);
    return OpenDirect(portName);
}
