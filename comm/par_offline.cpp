// Offline and online on a directly opened parallel port: the command, then its
// reply and the printer's alert, in whichever order they come, are judged.
#include "dvc_internal.h"

#include <vector>

int ParOffline(HANDLE port, bool offline) {
    const unsigned char* command = offline ? kOfflineReply : kOnlineReply;
    const unsigned char expected = offline ? 1 : 0;

    if (G_NpaMode != NPA_ON) {
        DvcLog(DVC_LOG_STEPS, "ParOffline(): NeedNPAStart = TRUE\n");
        int rc = SendNPAStart(port);
        if (rc != 0) {
            DvcLog(DVC_LOG_STEPS, "SendNPAStart() returned %d\n", rc);
            return DVC_CMD_FAIL;
        }
    }
    // Current before the write, as the reply and the alert may come at once;
    // awaiting command byte 0 accepts the reply and the alert alike.
    uint32_t tag = ParBeginRequest(0);
    DvcLog(DVC_LOG_HEX, "ParOffline(): before WriteFile()\n");
    DvcLogHex(command, 9);
    DWORD written = 0;
    if (!WriteFile(port, command, 9, &written, nullptr) || written < 9) return DVC_CMD_FAIL;
    DvcLog(DVC_LOG_STEPS, "ParOffline(): Successfully wrote %d bytes\n", (int)written);

    std::vector<unsigned char> received(DVC_RESPONSE_SLOT, 0);
    uint32_t length = DVC_RESPONSE_SLOT;
    int rc = ParAwaitResponse(tag, received.data(), &length);
    DvcLog(DVC_LOG_STEPS, "ParOffline(): returned from ParGetResponse, iReturn=%d\n", rc);
    DvcLogHex(received.data(), static_cast<uint16_t>(length));
    if (rc != DVC_OK) return rc;

    DvcLog(DVC_LOG_STEPS, "pRcvData[4]=%02X\n", received[4]);
    if (received[4] == 0xE0) {
        DvcLog(DVC_LOG_STEPS, "ParOffline(): we got the response back first\n");
        if (received[8] != 1) {
            DvcLog(DVC_LOG_STEPS, "ParOffline(): the command appears to have been rejected:\n");
            DvcLogHex(received.data(), static_cast<uint16_t>(length));
            return DVC_REFUSED;
        }
        DvcLog(DVC_LOG_STEPS, "ParOffline(): before ParGetResponse() - this time for alert\n");
        length = DVC_RESPONSE_SLOT;
        rc = ParGetResponse(received.data(), &length, 0xF0);
        DvcLog(DVC_LOG_STEPS, "ParOffline(): after ParGetResponse(), return code is %d\n", rc);
        // Without an alert the buffer still holds the reply, and that is judged.
        if (received[8] != expected) {
            DvcLog(DVC_LOG_STEPS, "ParOffline(): 9th byte NOT OK - rejected\n");
            return DVC_REFUSED;
        }
        DvcLog(DVC_LOG_STEPS, "ParOffline(): 9th byte OK\n");
        return DVC_OK;
    }
    if (received[4] == 0xF0) {
        DvcLog(DVC_LOG_STEPS, "ParOffline(): we got the alert back first\n");
        if (received[8] != expected) {
            DvcLog(DVC_LOG_STEPS, "ParOffline(): 9th byte NOT OK - rejected\n");
            return DVC_REFUSED;
        }
        DvcLog(DVC_LOG_STEPS, "ParOffline(): 9th byte OK\n");
        DvcLog(DVC_LOG_STEPS, "ParOffline(): before ParGetResponse() - this time for the response\n");
        length = DVC_RESPONSE_SLOT;
        rc = ParGetResponse(received.data(), &length, 0xE0);
        DvcLog(DVC_LOG_STEPS, "ParOffline(): after ParGetResponse(), return code is %d\n", rc);
        // The reply is read as in the other order, a ninth byte of 1 meaning
        // accepted; without a reply the alert in the buffer is judged by that rule.
        if (received[8] != 1) {
            DvcLog(DVC_LOG_STEPS, "ParOffline(): the command appears to have been rejected:\n");
            DvcLogHex(received.data(), static_cast<uint16_t>(length));
            return DVC_REFUSED;
        }
        return DVC_OK;
    }
    return DVC_OK;
}
