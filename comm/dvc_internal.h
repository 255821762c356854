// Library-internal state and the port-specific operations behind the five
// public calls. Process-wide, as the library keeps exactly one open port.
#pragma once

#include "dvc.h"
#include "win32.h"

#include <cstdint>

#define DVC_LOG_ENTRY 0x01
#define DVC_LOG_STEPS 0x02
#define DVC_LOG_HEX 0x10

#define DVC_MAX_COMMAND 512
#define DVC_RESPONSE_SLOT 2048
#define DVC_RESPONSE_SLOTS 3
#define RESPONSE_WAIT_TIMEOUT 5000

extern bool G_bInitialized;
extern int G_OsKind;
extern uint32_t G_LoggingLevel;
extern char G_szPortName[261];
extern HANDLE G_hPort;
extern uint16_t G_NpaMode;
extern bool G_bUnidirectional;
extern char G_szCommandFile[261];
extern char G_szOfflineFile[261];
extern char G_szDevicePath[256];
extern char G_szDeviceId[4097];

extern HANDLE G_hTransactionInfo;
extern HANDLE G_hResponseMutex;
extern HANDLE G_hSemGoRead;
extern HANDLE G_hSemResponse;
extern HANDLE G_hReadThread;
// Set when a read thread clears G_hReadThread (under G_hTransactionInfo), reset
// when one starts: DvcEndReadThread waits on it instead of polling.
extern HANDLE G_hReadThreadEnded;
extern bool bExpectingResponse;
extern uint8_t ucCommand;
extern unsigned char G_ResponseStore[DVC_RESPONSE_SLOTS][DVC_RESPONSE_SLOT];
extern int32_t G_ResponseLen[DVC_RESPONSE_SLOTS];

extern HMODULE G_hSetupApi;
extern PFN_SetupDiGetDeviceInterfaceDetailA G_pSetupDiGetDeviceInterfaceDetailA;
extern PFN_SetupDiGetClassDevsA G_pSetupDiGetClassDevsA;
extern PFN_SetupDiEnumDeviceInfo G_pSetupDiEnumDeviceInfo;
extern PFN_SetupDiEnumDeviceInterfaces G_pSetupDiEnumDeviceInterfaces;

// Frame and logging.
void DvcInit();
void DvcLog(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Logs the system's text for a failed open's error on a line of its own (it names
// the host's device node and the cause where the system knows them).
void DvcLogErrorText(uint32_t level, DWORD error);
void DvcLogHex(const unsigned char* buffer, uint16_t length);
// Gives the library's registry key the access list that lets every user change
// the logging level. False when a step failed; the key then keeps its default.
bool DvcApplyKeySecurity(HKEY key);

// Port kind by the name's first three characters, compared case-sensitively.
enum DvcPortKind { DVC_PORT_FILE, DVC_PORT_LPT, DVC_PORT_USB };
DvcPortKind DvcKindOf(const char* portName);
// True when portName is exactly (case-sensitively) the open port's name.
bool DvcIsOpenPort(const char* portName);

// Fixed packets and the NPA start packet.
extern const unsigned char kNpaStart[19];
extern const unsigned char kOfflineReply[9];
extern const unsigned char kOnlineReply[9];
extern const unsigned char kOfflineNoReply[9];
extern const unsigned char kOnlineNoReply[9];
extern const unsigned char kRegisterAlert[7];
extern const unsigned char kDeregisterAlert[7];
int SendNPAStart(HANDLE port);

// File port and the unidirectional workaround's copying.
int FileSendCommand(HANDLE file, const unsigned char* command, uint16_t commandLength, unsigned char* reply,
                    uint32_t* replyLength);
int FileOffline(HANDLE file, bool offline);
int DvcCopyFiles();

// Read threads (parallel and USB share one at a time). The USB thread keeps the
// read pipe it is blocked on here so that closing or shutting down can cancel it;
// it sets and clears G_hUsbReadPipe only while holding G_hTransactionInfo, and
// clears it before closing the pipe, as DvcEndReadThread cancels under that mutex.
extern HANDLE G_hUsbReadPipe;
// Ends a running read thread: clears bExpectingResponse, wakes the thread (posting
// G_hSemGoRead, cancelling a blocked USB read) and waits up to timeoutMs for it to
// clear G_hReadThread. Returns true when no read thread runs any more.
bool DvcEndReadThread(DWORD timeoutMs);

// Printer family recognition, shared by the parallel and the USB side.
bool IsRecognizedPrinter(const char* deviceId);

// Parallel port.
int ParOpenPort(const char* portName); // the LPT branch of DvcOpenPort
int ParSendCommand(HANDLE port, const unsigned char* command, uint16_t commandLength, unsigned char* reply,
                   uint32_t* replyLength);
int ParOffline(HANDLE port, bool offline);
HANDLE ParNT95CreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ParNT95ReadFile(HANDLE handle, LPVOID buffer, DWORD wanted, LPDWORD read, LPOVERLAPPED overlapped);
bool BceEnumGetDeviceID(HANDLE port, char* buffer, DWORD size, DWORD* returned);
int IsNpaActive(HANDLE port, const char* deviceId); // an NPA mode
int SendNpaActiveQuery(HANDLE port);                // an NPA mode, or -1 for a foreign NPA packet
int CheckPJLQueryResponse(const unsigned char* bytes, DWORD count); // same
// The family marker found in a device ID, or null (what IsRecognizedPrinter decides on).
const char* ParFamilyMarker(const char* deviceId);
int ParGetResponse(unsigned char* reply, uint32_t* replyLength, uint8_t command);
unsigned WINAPI ParReadPort(void* unused); // the parallel read thread
// Each parallel request carries a tag: G_ParRequestTag is bumped beside ucCommand
// and G_ParRequestPort (under G_hTransactionInfo), G_ParResponseTag names the
// request whose outcome is in slot 0 (under G_hResponseMutex). A waiter ignores
// an outcome of another tag; the read thread judges every reply it completes
// against the newest request, whichever one it started reading for.
extern uint32_t G_ParRequestTag;
extern uint32_t G_ParResponseTag;
extern HANDLE G_ParRequestPort;
// Makes `command` the awaited reply of a new request and returns its tag; done
// before the command is written. ParGetResponse is the two steps in one.
uint32_t ParBeginRequest(uint8_t command);
int ParAwaitResponse(uint32_t tag, unsigned char* reply, uint32_t* replyLength);

// USB port.
int UsbOpenPort(const char* portName); // the USB branch of DvcOpenPort
int UsbSendCommand(const char* devicePath, const unsigned char* command, uint16_t commandLength,
                   unsigned char* reply, uint32_t* replyLength);
int UsbOffline(const char* devicePath, bool offline);
