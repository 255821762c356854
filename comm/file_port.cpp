// The file port: commands that would go to a printer are appended to a file,
// each behind its own NPA start packet, and nothing is read back. Also the
// copying of the NT-family workaround's files to the parallel port.
#include "dvc_internal.h"

#include <cstdio>
#include <cstring>

int FileSendCommand(HANDLE file, const unsigned char* command, uint16_t commandLength, unsigned char* reply,
                    uint32_t* replyLength) {
    if (commandLength > DVC_MAX_COMMAND) {
        DvcLog(DVC_LOG_STEPS, "FileSendCommand(): command too large!\n");
        return DVC_CMD_FAIL;
    }
    unsigned char packet[DVC_MAX_COMMAND];
    if (commandLength > 0) std::memcpy(packet, command, commandLength);
    // Nobody will ever read a reply from a file; the printer must not wait to send one.
    if (commandLength > 3 && (packet[3] & 0x10)) {
        DvcLog(DVC_LOG_STEPS, "FileSendCommand(): response requested, tweaking command buffer\n");
        packet[3] &= static_cast<unsigned char>(~0x10);
    }

    int rc = SendNPAStart(file);
    if (rc != 0) {
        DvcLog(DVC_LOG_STEPS, "SendNPAStart() returned %d\n", rc);
        return DVC_SEND_WRITEFAIL;
    }

    DvcLogHex(packet, commandLength);
    DWORD written = 0;
    BOOL ok = WriteFile(file, packet, commandLength, &written, nullptr);
    if (ok && written == commandLength) {
        DvcLog(DVC_LOG_STEPS, "Successfully wrote %d bytes\n", (int)written);
        return DVC_OK;
    }
    if (written > 0)
        DvcLog(DVC_LOG_STEPS, "FileSendCommand(): Error %d, but wrote %d bytes\n", (int)GetLastError(),
               (int)written);
    if (replyLength) *replyLength = 0;
    return DVC_SEND_WRITEFAIL;
}

int FileOffline(HANDLE file, bool offline) {
    const unsigned char* command = offline ? kOfflineNoReply : kOnlineNoReply;
    const DWORD length = sizeof kOfflineNoReply;

    int rc = SendNPAStart(file);
    if (rc != 0) {
        DvcLog(DVC_LOG_STEPS, "SendNPAStart() returned %d\n", rc);
        return DVC_CMD_FAIL;
    }
    DvcLogHex(command, length);
    DWORD written = 0;
    BOOL ok = WriteFile(file, command, length, &written, nullptr);
    if (ok && written == length) {
        DvcLog(DVC_LOG_STEPS, "FileOffline(): Successfully wrote %d bytes\n", (int)written);
        return DVC_OK;
    }
    if (written > 0)
        DvcLog(DVC_LOG_STEPS, "FileOffline(): Error %d, but wrote %d bytes\n", (int)GetLastError(),
               (int)written);
    return DVC_CMD_FAIL;
}

// Builds "copy /b SOURCE PORT" into the 520-byte command buffer; false when it
// would not fit, as a cut line would copy the wrong file or to the wrong port.
static bool FormatCopy(char (&line)[520], const char* source) {
    int needed = std::snprintf(line, sizeof line, "copy /b %s %s", source, G_szPortName);
    return needed >= 0 && static_cast<size_t>(needed) < sizeof line;
}

int DvcCopyFiles() {
    char offlineCopy[520];
    char commandCopy[520];
    // Both lines are checked before anything runs, so the printer never gets
    // half of the sequence, and the files are kept when a line does not fit.
    if (!FormatCopy(offlineCopy, G_szOfflineFile) || !FormatCopy(commandCopy, G_szCommandFile)) {
        DvcLog(DVC_LOG_ENTRY,
               "DvcCopyFiles() - command line too long, nothing copied, files [%s] and [%s] kept\n",
               G_szOfflineFile, G_szCommandFile);
        return DVC_FAIL;
    }

    DvcLog(DVC_LOG_STEPS, "DvcCopyFiles() - command is [%s]\n", offlineCopy);
    int rc = WinSystem(offlineCopy);
    DvcLog(DVC_LOG_STEPS, "DvcCopyFiles() - rc=%d\n", rc);

    Sleep(5000); // the printer needs the time to go offline

    DvcLog(DVC_LOG_STEPS, "DvcCopyFiles() - command is [%s]\n", commandCopy);
    rc = WinSystem(commandCopy);
    DvcLog(DVC_LOG_STEPS, "DvcCopyFiles() - rc=%d\n", rc);

    _unlink(G_szOfflineFile);
    _unlink(G_szCommandFile);
    return DVC_OK;
}
