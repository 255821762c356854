// UsbOffline: the offline or online command on a USB printer, judged by the
// ninth byte of the command's reply (0xE0) and of the printer's alert (0xF0).
#include "usb_internal.h"

#include <cstring>

namespace {

constexpr unsigned char kReplyCommand = 0xE0;
constexpr unsigned char kAlertCommand = 0xF0;

// The reply and the alert are told by their command bytes; whatever else the
// printer sends in between (an unsolicited error, a reply to another command)
// is dropped, so it neither stands in for them nor stays behind for the next
// request.
UsbPacketFilter Only(unsigned char first, unsigned char second) {
    return [first, second](const unsigned char* packet, int32_t length) {
        return length >= 5 && !UsbIsUnsolicitedError(packet, length) &&
               (packet[4] == first || packet[4] == second);
    };
}

// Response first: it must read 1; then the alert (or, when none came, the
// response again) must show the wanted state.
int JudgeResponseFirst(unsigned char* received, unsigned char wanted, uint32_t request) {
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): we got the response back first\n");
    if (received[8] != 1) {
        DvcLog(DVC_LOG_STEPS, "UsbOffline(): the command appears to have been rejected:\n");
        DvcLogHex(received, 9);
        UsbOutputLeftUnread(G_szDevicePath); // the alert may still come
        return DVC_REFUSED;
    }
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): before UsbGetResponse() - this time for alert\n");
    uint32_t length = DVC_RESPONSE_SLOT;
    int second = UsbGetPacket(received, &length, kAlertCommand, Only(kAlertCommand, kAlertCommand), request);
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): after UsbGetResponse(), return code is %d\n", second);
    if (received[8] == wanted) {
        DvcLog(DVC_LOG_STEPS, "UsbOffline(): 9th byte OK\n");
        return DVC_OK;
    }
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): 9th byte NOT OK - rejected\n");
    return DVC_REFUSED;
}

// Alert first: it must show the wanted state. The response that follows is read
// as in the other order, a ninth byte of 1 meaning accepted; when it does not
// come, the alert still in the buffer is judged by that same rule.
int JudgeAlertFirst(unsigned char* received, unsigned char wanted, uint32_t request) {
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): we got the alert back first\n");
    if (received[8] != wanted) {
        DvcLog(DVC_LOG_STEPS, "UsbOffline(): 9th byte NOT OK - rejected\n");
        UsbOutputLeftUnread(G_szDevicePath); // the response is still to come
        return DVC_REFUSED;
    }
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): 9th byte OK\n");
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): before UsbGetResponse() - this time for the response\n");
    uint32_t length = DVC_RESPONSE_SLOT;
    int second = UsbGetPacket(received, &length, kReplyCommand, Only(kReplyCommand, kReplyCommand), request);
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): after UsbGetResponse(), return code is %d\n", second);
    if (received[8] != 1) {
        DvcLog(DVC_LOG_STEPS, "UsbOffline(): the command appears to have been rejected:\n");
        DvcLogHex(received, 9);
        return DVC_REFUSED;
    }
    return DVC_OK;
}

int Exchange(HANDLE pipe, bool offline, uint32_t request) {
    unsigned char command[9] = {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x0C, 0x00, 0x00};
    unsigned char wanted = offline ? 1 : 0;
    command[7] = wanted;
    if (G_NpaMode != NPA_ON) {
        DvcLog(DVC_LOG_STEPS, "UsbOffline(): NeedNPAStart = TRUE\n");
        int started = SendNPAStart(pipe);
        if (started != 0) {
            DvcLog(DVC_LOG_STEPS, "SendNPAStart() returned %d\n", started);
            return DVC_CMD_FAIL;
        }
    }
    DvcLog(DVC_LOG_HEX, "UsbOffline(): before WriteFile()\n");
    DvcLogHex(command, sizeof command);
    DWORD written = 0;
    if (!WriteFile(pipe, command, sizeof command, &written, nullptr) || written < sizeof command)
        return DVC_CMD_FAIL;
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): Successfully wrote %d bytes\n", (int)written);

    unsigned char received[DVC_RESPONSE_SLOT] = {};
    uint32_t length = DVC_RESPONSE_SLOT;
    int first = UsbGetPacket(received, &length, 0, Only(kReplyCommand, kAlertCommand), request);
    DvcLog(DVC_LOG_STEPS, "UsbOffline(): returned from UsbGetResponse, iReturn=%d\n", first);
    DvcLogHex(received, uint16_t(length));
    if (first != DVC_OK) return first;
    DvcLog(DVC_LOG_STEPS, "pRcvData[4]=%02X\n", received[4]);
    if (received[4] == kReplyCommand) return JudgeResponseFirst(received, wanted, request);
    if (received[4] == kAlertCommand) return JudgeAlertFirst(received, wanted, request);
    return DVC_OK;
}

} // namespace

int UsbOffline(const char* devicePath, bool offline) {
    uint32_t request = UsbBeginRequest(devicePath);
    HANDLE pipe = OpenUsbHandle(devicePath, "PIPE00");
    if (pipe == INVALID_HANDLE_VALUE) return DVC_FAIL;
    int result = Exchange(pipe, offline, request);
    CloseHandle(pipe);
    return result;
}
