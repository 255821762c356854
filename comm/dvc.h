// The Dvc library: the program's only road to the printer. One port open per
// process; the port's kind follows from its name (LPT..., USB..., else a file).
#pragma once

#include <cstdint>

#define DVC_OK 0
#define DVC_OPEN_UNIDIRECTIONAL 1
#define DVC_FAIL (-1)
#define DVC_NOT_OPEN (-2)
#define DVC_CMD_FAIL (-3)
#define DVC_REFUSED (-4)
#define DVC_SEND_WRITEFAIL (-5)
#define DVC_SEND_READFAIL (-6)
#define DVC_RESPONSE_TOO_LARGE (-7)

#define NPA_OFF 0
#define NPA_AUTO 1
#define NPA_ON 2

int DvcOpenPort(const char* portName);
int DvcSendCommand(const char* portName, const unsigned char* command, uint16_t commandLength,
                   unsigned char* reply, uint32_t* replyLength);
int DvcOffline(const char* portName, bool offline);
int DvcClosePort(const char* portName);
void DvcShutdown();

// Name of a result code ("DVC_OK", ...), for tools and messages.
const char* DvcResultName(int code);
