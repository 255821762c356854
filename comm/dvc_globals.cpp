// The library's process-wide state: one open port, the read-thread objects and
// the reply slots. DvcInit gives everything its start value.
#include "dvc_internal.h"

bool G_bInitialized = false;
int G_OsKind = 0;
uint32_t G_LoggingLevel = 0;
char G_szPortName[261] = "";
HANDLE G_hPort = INVALID_HANDLE_VALUE;
uint16_t G_NpaMode = NPA_OFF;
bool G_bUnidirectional = false;
char G_szCommandFile[261] = "";
char G_szOfflineFile[261] = "";
char G_szDevicePath[256] = "";
char G_szDeviceId[4097] = "";

HANDLE G_hTransactionInfo = nullptr;
HANDLE G_hResponseMutex = nullptr;
HANDLE G_hSemGoRead = nullptr;
HANDLE G_hSemResponse = nullptr;
HANDLE G_hReadThread = nullptr;
HANDLE G_hReadThreadEnded = nullptr;
bool bExpectingResponse = false;
uint8_t ucCommand = 0;
unsigned char G_ResponseStore[DVC_RESPONSE_SLOTS][DVC_RESPONSE_SLOT];
int32_t G_ResponseLen[DVC_RESPONSE_SLOTS] = {0, 0, 0};

HMODULE G_hSetupApi = nullptr;
PFN_SetupDiGetDeviceInterfaceDetailA G_pSetupDiGetDeviceInterfaceDetailA = nullptr;
PFN_SetupDiGetClassDevsA G_pSetupDiGetClassDevsA = nullptr;
PFN_SetupDiEnumDeviceInfo G_pSetupDiEnumDeviceInfo = nullptr;
PFN_SetupDiEnumDeviceInterfaces G_pSetupDiEnumDeviceInterfaces = nullptr;

HANDLE G_hUsbReadPipe = INVALID_HANDLE_VALUE;
