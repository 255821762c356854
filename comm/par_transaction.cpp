// One transaction on a directly opened parallel port: the command is written on
// the caller's thread, its reply is read by the read thread and handed over in
// slot 0 of the response store.
#include "dvc_internal.h"

#include <cstring>

uint32_t G_ParRequestTag = 0;
uint32_t G_ParResponseTag = 0;
HANDLE G_ParRequestPort = INVALID_HANDLE_VALUE;

uint32_t ParBeginRequest(uint8_t command) {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    ucCommand = command;
    G_ParRequestPort = G_hPort;
    uint32_t tag = ++G_ParRequestTag;
    ReleaseMutex(G_hTransactionInfo);
    return tag;
}

int ParSendCommand(HANDLE port, const unsigned char* command, uint16_t commandLength, unsigned char* reply,
                   uint32_t* replyLength) {
    if (commandLength > DVC_MAX_COMMAND) {
        DvcLog(DVC_LOG_STEPS, "ParSendCommand(): command too large!\n");
        return DVC_CMD_FAIL;
    }
    unsigned char buffer[DVC_MAX_COMMAND] = {};
    if (commandLength) std::memcpy(buffer, command, commandLength);
    bool wantsReply = commandLength > 3 && (buffer[3] & 0x10);

    if (!reply || !replyLength || *replyLength == 0) {
        if (wantsReply) DvcLog(DVC_LOG_STEPS, "ParSendCommand(): no buffer but response requested!\n");
        reply = nullptr;
        if (replyLength) *replyLength = 0;
    }

    if (G_NpaMode != NPA_ON) {
        DvcLog(DVC_LOG_STEPS, "ParSendCommand(): NeedNPAStart = TRUE\n");
        int rc = SendNPAStart(port);
        if (rc != 0) {
            DvcLog(DVC_LOG_STEPS, "SendNPAStart() returned %d\n", rc);
            if (replyLength) *replyLength = 0;
            return DVC_SEND_WRITEFAIL;
        }
    }

    // The request is made current before its command goes out, so a reply that
    // comes at once is judged against it and not against an abandoned one.
    bool waits = reply || wantsReply;
    uint32_t tag = waits ? ParBeginRequest(commandLength > 4 ? buffer[4] : 0) : 0;

    DvcLog(DVC_LOG_HEX, "ParSendCommand(): before WriteFile()\n");
    DvcLogHex(buffer, commandLength);
    DWORD written = 0;
    if (!WriteFile(port, buffer, commandLength, &written, nullptr) || written < commandLength) {
        if (replyLength) *replyLength = 0;
        return DVC_SEND_WRITEFAIL;
    }
    DvcLog(DVC_LOG_STEPS, "Successfully wrote %d bytes\n", (int)written);

    // A requested reply is always waited for, so it cannot linger for a later request.
    if (waits) return ParAwaitResponse(tag, reply, replyLength);
    return DVC_OK;
}

int ParGetResponse(unsigned char* reply, uint32_t* replyLength, uint8_t command) {
    return ParAwaitResponse(ParBeginRequest(command), reply, replyLength);
}

int ParAwaitResponse(uint32_t tag, unsigned char* reply, uint32_t* replyLength) {
    uint32_t entryLength = replyLength ? *replyLength : 0;

    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool started = true;
    if (!G_hReadThread) {
        bExpectingResponse = true;
        ResetEvent(G_hReadThreadEnded);
        G_hReadThread = (HANDLE)_beginthreadex(nullptr, 0, ParReadPort, nullptr, 0, nullptr);
        started = G_hReadThread != nullptr;
        DvcLog(DVC_LOG_STEPS,
               "ParGetResponse: no G_hReadThread - started ReadThread and got hReadThread:%d\n",
               (int)(intptr_t)G_hReadThread);
    }
    ReleaseMutex(G_hTransactionInfo);
    if (!started) {
        if (replyLength) *replyLength = 0;
        return DVC_SEND_READFAIL;
    }
    ReleaseSemaphore(G_hSemGoRead, 1, nullptr);

    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD wait = elapsed < RESPONSE_WAIT_TIMEOUT
                         ? WaitForSingleObject(G_hSemResponse, RESPONSE_WAIT_TIMEOUT - elapsed)
                         : WAIT_TIMEOUT;
        if (wait != WAIT_OBJECT_0) {
            if (replyLength) *replyLength = 0;
            DvcLog(
                DVC_LOG_STEPS,
                "ParGetResponse() - RESPONSE_WAIT_TIMEOUT occured after %d ms, returning DVC_SEND_READFAIL\n",
                RESPONSE_WAIT_TIMEOUT);
            return DVC_SEND_READFAIL;
        }

        WaitForSingleObject(G_hResponseMutex, INFINITE);
        if (G_ParResponseTag != tag) {
            // An outcome for a request whose caller stopped waiting: drop it, keep waiting.
            ReleaseMutex(G_hResponseMutex);
            DvcLog(DVC_LOG_STEPS, "ParGetResponse() - dropped a late outcome of an earlier request\n");
            continue;
        }
        DvcLog(DVC_LOG_STEPS, "ParGetResponse() - The read thread got a response and signalled us\n");
        int32_t outcome = G_ResponseLen[0];
        int result;
        if (outcome == -1) {
            DvcLog(DVC_LOG_STEPS, "ParGetResponse() - read failure\n");
            if (replyLength) *replyLength = 0;
            result = DVC_SEND_READFAIL;
        } else if (outcome == -2 || static_cast<uint32_t>(outcome) > entryLength) {
            DvcLog(DVC_LOG_STEPS, "ParGetResponse() - response too large\n");
            result = DVC_RESPONSE_TOO_LARGE;
        } else {
            DvcLog(DVC_LOG_STEPS, "ParGetResponse() - success\n");
            std::memcpy(reply, G_ResponseStore[0], static_cast<size_t>(outcome));
            *replyLength = static_cast<uint32_t>(outcome);
            result = DVC_OK;
        }
        ReleaseMutex(G_hResponseMutex);
        return result;
    }
}
