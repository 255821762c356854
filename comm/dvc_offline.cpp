// Taking the printer offline before settings are written and back online
// afterwards: remotely on a printer that answers, else through files.
#include "dvc_internal.h"

#include <cstring>

static const char* StateText(bool offline) {
    return offline ? "offline" : "online";
}

static int RemoteOffline(const char* portName, bool offline) {
    const char* state = StateText(offline);
    unsigned char reply[DVC_RESPONSE_SLOT];
    uint32_t replyLength = sizeof reply;

    DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s) - registering for offline alert\n", portName, state);
    if (DvcSendCommand(portName, kRegisterAlert, sizeof kRegisterAlert, reply, &replyLength) != DVC_OK) {
        DvcLog(
            DVC_LOG_ENTRY,
            "DvcOffline(%s, %s) - DvcSendCommand() failed with error code %d (we couldn't register for the "
            "offline alert)\n",
            portName, state, DVC_CMD_FAIL);
        return DVC_CMD_FAIL;
    }

    DvcLog(DVC_LOG_ENTRY,
           offline ? "DvcOffline(%s, %s) - sending remote OFFline\n"
                   : "DvcOffline(%s, %s) - sending remote ONline\n",
           portName, state);
    int rc = DvcKindOf(G_szPortName) == DVC_PORT_USB ? UsbOffline(G_szDevicePath, offline)
                                                     : ParOffline(G_hPort, offline);
    if (rc != DVC_OK) {
        DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s) - xxxOffline() failed with error code %d\n", portName,
               state, rc);
        return rc; // the alert stays registered, as the printer may no longer answer
    }

    DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s) - deregistering for offline alert\n", portName, state);
    replyLength = sizeof reply;
    if (DvcSendCommand(portName, kDeregisterAlert, sizeof kDeregisterAlert, reply, &replyLength) != DVC_OK)
        DvcLog(
            DVC_LOG_ENTRY,
            "DvcOffline(%s, %s) - DvcSendCommand() failed with error code %d (no biggie, we were just trying "
            "to deregister for the offline alert)\n",
            portName, state, DVC_OK);
    return DVC_OK;
}

// "offline.dat" goes beside the command file. Both separators count, as paths
// on this machine may use "/"; a bare file name puts it in the current directory.
static bool OfflineFilePath(const char* commandFile, char* path, size_t size) {
    const char* lastBackslash = std::strrchr(commandFile, '\\');
    const char* lastSlash = std::strrchr(commandFile, '/');
    const char* last = lastBackslash > lastSlash ? lastBackslash : lastSlash;
    size_t directory = last ? static_cast<size_t>(last - commandFile) + 1 : 0;
    static const char kName[] = "offline.dat";
    if (directory + sizeof kName > size) return false;
    std::memcpy(path, commandFile, directory);
    std::memcpy(path + directory, kName, sizeof kName);
    return true;
}

static int FileWayOffline(const char* portName, bool offline) {
    if (!offline) {
        if (G_hPort == INVALID_HANDLE_VALUE || G_hPort == nullptr) return DVC_FAIL;
        return FileOffline(G_hPort, false);
    }

    const char* commandFile = DvcKindOf(G_szPortName) == DVC_PORT_LPT ? G_szCommandFile : G_szPortName;
    char path[sizeof G_szOfflineFile];
    if (!OfflineFilePath(commandFile, path, sizeof path)) {
        DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s) - offline file path too long\n", portName,
               StateText(offline));
        return DVC_FAIL;
    }
    DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s) - offline file is [%s]\n", portName, StateText(offline), path);
    std::memcpy(G_szOfflineFile, path, sizeof path);

    // Emptied on open like the command file, so no stale bytes follow the packet.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Forgotten, so closing the port never tries to copy a file that is not there.
        G_szOfflineFile[0] = '\0';
        return DVC_FAIL;
    }
    int rc = FileOffline(file, true);
    CloseHandle(file);
    return rc;
}

int DvcOffline(const char* portName, bool offline) {
    DvcInit();
    const char* name = portName ? portName : "(null)";
    if (!DvcIsOpenPort(portName)) {
        DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s) - port is not open\n", name, StateText(offline));
        return DVC_NOT_OPEN;
    }
    DvcLog(DVC_LOG_ENTRY, "DvcOffline(%s, %s)\n", portName, StateText(offline));

    DvcPortKind kind = DvcKindOf(G_szPortName);
    if (kind == DVC_PORT_USB || (kind == DVC_PORT_LPT && !G_bUnidirectional))
        return RemoteOffline(portName, offline);
    return FileWayOffline(portName, offline);
}
