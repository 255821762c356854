// The five public operations and their dispatch by port kind: "LPT..." is a
// parallel port, "USB..." a USB printer, any other name a file.
#include "dvc_internal.h"

#include <cstring>

DvcPortKind DvcKindOf(const char* portName) {
    if (!portName) return DVC_PORT_FILE;
    if (std::strncmp(portName, "LPT", 3) == 0) return DVC_PORT_LPT; // case matters: "lpt1" is a file
    if (std::strncmp(portName, "USB", 3) == 0) return DVC_PORT_USB;
    return DVC_PORT_FILE;
}

bool DvcIsOpenPort(const char* portName) {
    return portName && G_szPortName[0] != '\0' && std::strcmp(portName, G_szPortName) == 0;
}

static void CopyName(char* target, size_t size, const char* name) {
    std::strncpy(target, name, size - 1);
    target[size - 1] = '\0';
}

static void ClearExpectingResponse() {
    DvcLog(DVC_LOG_STEPS, "DvcClosePort(): before setting bExpectingResponse(FALSE)\n");
    if (G_hTransactionInfo) WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bExpectingResponse = false;
    if (G_hTransactionInfo) ReleaseMutex(G_hTransactionInfo);
    DvcLog(DVC_LOG_STEPS, "DvcClosePort(): after setting bExpectingResponse(FALSE)\n");
}

static void CloseHandleIfValid(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
}

// Ends the open state before another port is opened. Output collected by the
// unidirectional workaround is dropped here, not sent.
static void ForgetOpenPort() {
    switch (DvcKindOf(G_szPortName)) {
    case DVC_PORT_LPT:
        CloseHandleIfValid(G_hPort);
        G_bUnidirectional = false;
        G_szCommandFile[0] = '\0';
        G_szOfflineFile[0] = '\0';
        break;
    case DVC_PORT_USB:
        ClearExpectingResponse();
        G_szDevicePath[0] = '\0';
        break;
    case DVC_PORT_FILE:
        CloseHandleIfValid(G_hPort);
        break;
    }
    G_hPort = INVALID_HANDLE_VALUE;
    G_szPortName[0] = '\0';
    G_szDeviceId[0] = '\0';
}

static int OpenFilePort(const char* portName) {
    if (std::strlen(portName) >= sizeof G_szPortName) {
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(FILE) - failed, last error was %d\n", (int)ERROR_BAD_PATHNAME);
        return DVC_FAIL;
    }
    // CREATE_ALWAYS rather than OPEN_ALWAYS: an older, longer command file
    // must not keep its tail behind the new packets.
    HANDLE file = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(FILE) - failed, last error was %d\n", (int)GetLastError());
        return DVC_FAIL;
    }
    DvcLog(DVC_LOG_STEPS, "DvcOpenPort(FILE) - CreateFile() worked\n");
    G_hPort = file;
    G_NpaMode = NPA_AUTO;
    CopyName(G_szPortName, sizeof G_szPortName, portName);
    G_szDevicePath[0] = '\0';
    G_szDeviceId[0] = '\0';
    return DVC_OK;
}

int DvcOpenPort(const char* portName) {
    DvcInit();
    if (!portName) portName = "";
    DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(%s)\n", portName);
    int result = DVC_FAIL;

    if (G_szPortName[0] != '\0') {
        DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(%s) - currently open port [%s] will be closed\n", portName,
               G_szPortName);
        ForgetOpenPort();
    }

    switch (DvcKindOf(portName)) {
    case DVC_PORT_LPT:
        result = ParOpenPort(portName);
        break;
    case DVC_PORT_USB:
        result = UsbOpenPort(portName);
        break;
    case DVC_PORT_FILE:
        result = OpenFilePort(portName);
        break;
    }

    // Whatever a branch left behind, a failed open leaves no port open.
    if (result < 0 && G_szPortName[0] != '\0') ForgetOpenPort();
    DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(%s) - returning %d\n", portName, result);
    return result;
}

int DvcSendCommand(const char* portName, const unsigned char* command, uint16_t commandLength,
                   unsigned char* reply, uint32_t* replyLength) {
    DvcInit();
    DvcLog(DVC_LOG_ENTRY, "DvcSendCommand()\n");
    if (!command) commandLength = 0;
    DvcLogHex(command, commandLength);

    if (!DvcIsOpenPort(portName)) {
        DvcLog(DVC_LOG_ENTRY, "port %s is not open\n", portName ? portName : "(null)");
        return DVC_NOT_OPEN;
    }

    switch (DvcKindOf(G_szPortName)) {
    case DVC_PORT_LPT:
        if (G_bUnidirectional) return FileSendCommand(G_hPort, command, commandLength, reply, replyLength);
        return ParSendCommand(G_hPort, command, commandLength, reply, replyLength);
    case DVC_PORT_USB:
        return UsbSendCommand(G_szDevicePath, command, commandLength, reply, replyLength);
    case DVC_PORT_FILE:
        break;
    }
    return FileSendCommand(G_hPort, command, commandLength, reply, replyLength);
}

int DvcClosePort(const char* portName) {
    DvcInit();
    if (!portName) portName = "";
    DvcLog(DVC_LOG_ENTRY, "DvcClosePort(%s)\n", portName);
    int result = DVC_OK;

    if (!DvcIsOpenPort(portName)) {
        DvcLog(DVC_LOG_ENTRY, "port %s is not open\n", portName);
        return result;
    }
    DvcLog(DVC_LOG_ENTRY, "DvcClosePort(%s) - port is open\n", portName);

    switch (DvcKindOf(G_szPortName)) {
    case DVC_PORT_LPT:
        DvcLog(DVC_LOG_ENTRY, "DvcClosePort(%s) - port is parallel\n", portName);
        CloseHandleIfValid(G_hPort);
        if (G_bUnidirectional && G_szOfflineFile[0] != '\0' && G_szCommandFile[0] != '\0') {
            DvcLog(DVC_LOG_ENTRY, "DvcClosePort(Unidirectional workaround)\n");
            result = DvcCopyFiles();
            G_bUnidirectional = false;
            G_szOfflineFile[0] = '\0';
            G_szCommandFile[0] = '\0';
        }
        G_hPort = INVALID_HANDLE_VALUE;
        G_szPortName[0] = '\0';
        G_szDeviceId[0] = '\0';
        break;
    case DVC_PORT_USB:
        DvcLog(DVC_LOG_ENTRY, "DvcClosePort(%s) - port is USB\n", portName);
        ClearExpectingResponse();
        G_szPortName[0] = '\0';
        G_szDevicePath[0] = '\0';
        G_szDeviceId[0] = '\0';
        break;
    case DVC_PORT_FILE:
        DvcLog(DVC_LOG_ENTRY, "DvcClosePort(%s) - port is FILE\n", portName);
        CloseHandleIfValid(G_hPort);
        G_hPort = INVALID_HANDLE_VALUE;
        G_szPortName[0] = '\0';
        G_szDeviceId[0] = '\0';
        break;
    }
    return result;
}

void DvcShutdown() {
    DvcLog(DVC_LOG_STEPS, "DvcShutdown() - in\n");
    if (G_bInitialized) {
        // A read thread still blocked on these objects must be gone before they
        // are closed; if it does not end, leaking them is the safe choice.
        if (!DvcEndReadThread(6000)) {
            DvcLog(DVC_LOG_STEPS, "DvcShutdown() - read thread did not end, objects left open\n");
        } else {
            if (G_hSetupApi) {
                FreeLibrary(G_hSetupApi);
                G_hSetupApi = nullptr;
                G_pSetupDiGetDeviceInterfaceDetailA = nullptr;
                G_pSetupDiGetClassDevsA = nullptr;
                G_pSetupDiEnumDeviceInfo = nullptr;
                G_pSetupDiEnumDeviceInterfaces = nullptr;
            }
            HANDLE* objects[] = {&G_hSemResponse, &G_hSemGoRead, &G_hTransactionInfo, &G_hResponseMutex,
                                 &G_hReadThreadEnded};
            for (HANDLE* object : objects) {
                if (*object) CloseHandle(*object);
                *object = nullptr;
            }
        }
    }
    DvcLog(DVC_LOG_STEPS, "DvcShutdown() - out\n");
}

const char* DvcResultName(int code) {
    switch (code) {
    case DVC_OK:
        return "DVC_OK";
    case DVC_OPEN_UNIDIRECTIONAL:
        return "DVC_OPEN_UNIDIRECTIONAL";
    case DVC_FAIL:
        return "DVC_FAIL";
    case DVC_NOT_OPEN:
        return "DVC_NOT_OPEN";
    case DVC_CMD_FAIL:
        return "DVC_CMD_FAIL";
    case DVC_REFUSED:
        return "DVC_REFUSED";
    case DVC_SEND_WRITEFAIL:
        return "DVC_SEND_WRITEFAIL";
    case DVC_SEND_READFAIL:
        return "DVC_SEND_READFAIL";
    case DVC_RESPONSE_TOO_LARGE:
        return "DVC_RESPONSE_TOO_LARGE";
    }
    return "DVC_UNKNOWN";
}
