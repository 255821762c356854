// USB port: filled in with device discovery, reassembly and the USB read thread.
#include "dvc_internal.h"

int UsbOpenPort(const char* portName) { return DVC_FAIL; }

int UsbSendCommand(const char* devicePath, const unsigned char* command, uint16_t commandLength,
                   unsigned char* reply, uint32_t* replyLength) {
    return DVC_FAIL;
}

int UsbOffline(const char* devicePath, bool offline) { return DVC_FAIL; }
