// Parallel port: filled in with port access, NPA-mode detection and the read thread.
#include "dvc_internal.h"

int ParOpenPort(const char* portName) { return DVC_FAIL; }

int ParSendCommand(HANDLE port, const unsigned char* command, uint16_t commandLength, unsigned char* reply,
                   uint32_t* replyLength) {
    return DVC_FAIL;
}

int ParOffline(HANDLE port, bool offline) { return DVC_FAIL; }
