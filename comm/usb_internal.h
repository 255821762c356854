// USB side of the Dvc library: discovery of the printer's device interface,
// reassembly of the reply pieces read from "PIPE01", and the read thread that
// sorts replies and alerts into the shared reply slots.
#pragma once

#include "dvc_internal.h"

#include <atomic>
#include <cstdint>
#include <functional>

#define USB_MAX_PORTS 20
#define USB_READ_PIECE 32
#define USB_ASSEMBLY_SIZE 100000
#define USB_HOLD_SIZE 100000
#define USB_DEVICE_ID_SIZE 4096
#define USB_IOCTL_GET_DEVICE_ID 0x00220034u
// MODEL and serial are read into buffers of this size on both the spooler side
// (UsbGetCustomPortName) and the device side (UsbAddDeviceEntry): one cut rule.
#define USB_NAME_FIELD_SIZE 256

// A slot length word that marks a reply too long for its slot: the waiter gets
// DVC_RESPONSE_TOO_LARGE instead of a cut reply.
#define USB_SLOT_TOO_LARGE (-2)

// One discovered printer.
struct UsbPortEntry {
    char szPortName[256];
    char szDevicePath[256];
    char szDevID[USB_DEVICE_ID_SIZE];
};

extern const GUID kUsbPrinterClass; // {28d78fad-5a12-11d1-ae5b-0000f803a8c2}
extern const GUID kUsbDeviceClass;  // {a5dcbf10-6530-11d2-901f-00c04fb951ed}

// Discovery.
int UsbGetSymbolicNameFromRegistry(const char* sysPortName, char* symbolicName /* >= 500 bytes */);
// capacity: size of out. On return *length counts the bytes stored, NUL included.
void GetUsbDeviceIdString(const char* devicePath, char* out, DWORD capacity, DWORD* length);
// out must hold *capacityOrLength + 1 bytes. Returns 0 when the key was found, 1 otherwise.
int GetDeviceIdField(const char* deviceId, const char* key, char* out, DWORD* capacityOrLength);
// out must hold capacity bytes; the serial is cut to capacity - 1 characters.
void GetUsbSerialNumber(const char* name, char* out, uint16_t capacity, uint16_t* length);
void UsbGetCustomPortName(const char* sysPortName, char* customPortName /* 256 bytes, zeroed */);
void UsbAddDeviceEntry(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData, UsbPortEntry* table,
                       int* numPortsFound);
HANDLE OpenUsbHandle(const char* devicePath, const char* pipeName);
// "USB-" MODEL ["(" serial ")"], blanks to "_", lower case, cut to 255 characters.
void UsbBuildCustomPortName(const char* model, const char* serial, char* out /* 256 bytes */);

// Reassembly. The read handle is passed by address: when a failed read closes
// it, it is set to INVALID_HANDLE_VALUE so nobody closes it a second time.
void WINAPI ReadPktDone(DWORD errorCode, DWORD bytesTransferred, LPOVERLAPPED overlapped);
void ReadPkt(HANDLE* readHandle, unsigned char* destination, DWORD* bytesRead, DWORD size);
void UsbReadResponse(HANDLE* readHandle, unsigned char* reply, uint32_t* replyLength,
                     unsigned char* secondResBuf, uint32_t* secondResBufCurrentLen, DWORD maxRead);
// The reassembly itself, over any source of pieces. The source reads at most
// size bytes and reports a pipe that can deliver nothing more.
using UsbPieceReader =
    std::function<void(unsigned char* destination, DWORD* got, DWORD size, bool* pipeDead)>;
void UsbReassemble(const UsbPieceReader& read, unsigned char* reply, uint32_t* replyLength,
                   unsigned char* secondResBuf, uint32_t* secondResBufCurrentLen, DWORD maxRead);
void AddToPacketLength(unsigned char* packet, int count);
// Closes a read pipe, first withdrawing it from G_hUsbReadPipe so that a cancel
// never reaches a closed handle. Returns CloseHandle's result.
BOOL UsbCloseReadPipe(HANDLE* readHandle);

// The three reply slots as the USB side uses them. Both take G_hResponseMutex.
// Stores a reply or alert in the first free slot (a reply longer than a slot is
// marked USB_SLOT_TOO_LARGE instead); returns the slot, or -1 when all are full.
// `request` is the request number the packet belongs to (UsbRequestNumber).
int UsbStoreReply(const unsigned char* reply, uint32_t length, uint32_t request);
// Takes the filled slot that was stored first. *length receives its length word
// (possibly USB_SLOT_TOO_LARGE); out must hold DVC_RESPONSE_SLOT bytes. Returns
// the slot, or -1 when none is filled. When more stay filled, G_hSemResponse is
// posted again so the next wait finds them at once. *request: the packet's.
int UsbTakeReply(unsigned char* out, int32_t* length, uint32_t* request);
// Empties every slot the USB side filled and takes back a pending wake-up.
void UsbClearReplies();

// Transactions and the read thread. UsbReadThreadHandle is G_hReadThread while
// the thread running is the USB one (null otherwise); under G_hTransactionInfo.
extern HANDLE UsbReadThreadHandle;
// The device path of the read pipe the thread opened last; under G_hTransactionInfo.
extern char UsbReadPipePath[256];
int UsbGetResponse(unsigned char* reply, uint32_t* replyLength, uint8_t command);
// UsbGetResponse that takes only packets `wanted` accepts (null: any) and, when
// `request` is not 0, only packets of that request; it drops the others, all
// within the one 5000 ms wait.
using UsbPacketFilter = std::function<bool(const unsigned char* packet, int32_t length)>;
int UsbGetPacket(unsigned char* reply, uint32_t* replyLength, uint8_t command, const UsbPacketFilter& wanted,
                 uint32_t request = 0);

// Stale output. A reply the printer sends after its wait gave up (or the rest of
// one whose pipe failed) would be taken by the next request with the same
// command byte. So every request that awaits a reply gets a number before it is
// written (UsbBeginRequest); the read thread marks each packet with the number
// current when its first piece was read; a request takes only packets of its
// own number. What the printer held while no thread was reading is read away
// before the request is written (UsbDrainReadPipe), when it may hold any: at the
// printer's first request in this process and after an answer was left to come.
extern std::atomic<uint32_t> UsbRequestNumber;
// Called before a request that awaits a reply is written; returns its number.
uint32_t UsbBeginRequest(const char* devicePath);
// Reads and drops what the printer holds on "PIPE01" until it stays silent for
// USB_DRAIN_QUIET_MS (at most USB_DRAIN_LIMIT_MS in all). True when the printer
// fell silent; *dropped (optional) receives the bytes dropped.
#define USB_DRAIN_QUIET_MS 150
#define USB_DRAIN_LIMIT_MS 3000
bool UsbDrainReadPipe(const char* devicePath, uint32_t* dropped = nullptr);
// A wait for a request on this printer gave up. For USB_LATE_REPLY_GRACE_MS after
// that, the next request first gives the late reply time to come and be dropped:
// the drain waits that long for the printer to fall silent, and a running read
// thread is given that long before the request is written.
#define USB_LATE_REPLY_GRACE_MS 2000
// Also marks the printer as holding output nobody read (drained at the next request).
void UsbRequestAbandoned(const char* devicePath);
// An answer the printer still sends was left to come (a refused offline request
// whose second packet was not waited for): drained at the next request.
void UsbOutputLeftUnread(const char* devicePath);
// A fresh process as far as the printers' output goes: each one is drained again.
void UsbForgetPrintersForTesting();
// Flags 0x80 without 0x10: an error nobody asked for.
bool UsbIsUnsolicitedError(const unsigned char* packet, int32_t length);
unsigned WINAPI UsbReadPort(void* devicePath);
