// The reply slots on the USB side. Every filled slot carries an arrival number
// so that several replies stored before a waiter wakes reach it one per call,
// oldest first, and none is lost.
#include "usb_internal.h"

#include <cstring>

namespace {

// Guarded by G_hResponseMutex, like the slots themselves. A slot holds a USB
// reply only while both its length word and its arrival number are set: the
// parallel side leaves its last outcome in slot 0, which is no reply for us.
uint64_t g_arrival[DVC_RESPONSE_SLOTS] = {};
uint64_t g_nextArrival = 1;
uint32_t g_request[DVC_RESPONSE_SLOTS] = {};

bool Filled(int slot) {
    return G_ResponseLen[slot] != 0 && g_arrival[slot] != 0;
}

} // namespace

int UsbStoreReply(const unsigned char* reply, uint32_t length, uint32_t request) {
    WaitForSingleObject(G_hResponseMutex, INFINITE);
    int slot = -1;
    for (int i = 0; i < DVC_RESPONSE_SLOTS; ++i) {
        if (Filled(i)) continue;
        slot = i;
        if (length > DVC_RESPONSE_SLOT) {
            G_ResponseLen[i] = USB_SLOT_TOO_LARGE;
        } else {
            std::memcpy(G_ResponseStore[i], reply, length);
            G_ResponseLen[i] = int32_t(length);
        }
        g_arrival[i] = g_nextArrival++;
        g_request[i] = request;
        break;
    }
    ReleaseMutex(G_hResponseMutex);
    return slot;
}

int UsbTakeReply(unsigned char* out, int32_t* length, uint32_t* request) {
    WaitForSingleObject(G_hResponseMutex, INFINITE);
    int slot = -1;
    int filled = 0;
    for (int i = 0; i < DVC_RESPONSE_SLOTS; ++i) {
        if (!Filled(i)) continue;
        ++filled;
        if (slot < 0 || g_arrival[i] < g_arrival[slot]) slot = i;
    }
    if (slot >= 0) {
        *length = G_ResponseLen[slot];
        if (*length > 0) std::memcpy(out, G_ResponseStore[slot], size_t(*length));
        *request = g_request[slot];
        G_ResponseLen[slot] = 0;
        g_arrival[slot] = 0;
    }
    ReleaseMutex(G_hResponseMutex);
    if (filled > 1) ReleaseSemaphore(G_hSemResponse, 1, nullptr);
    return slot;
}

void UsbClearReplies() {
    WaitForSingleObject(G_hResponseMutex, INFINITE);
    for (int i = 0; i < DVC_RESPONSE_SLOTS; ++i) {
        if (!Filled(i)) continue;
        G_ResponseLen[i] = 0;
        g_arrival[i] = 0;
    }
    ReleaseMutex(G_hResponseMutex);
    WaitForSingleObject(G_hSemResponse, 0);
}
