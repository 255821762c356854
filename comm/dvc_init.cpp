// One-time set-up of the library: Windows family, port state, the read-thread
// objects, the logging level from the registry and the SetupAPI entry points.
#include "dvc_internal.h"

#include <cstdio>
#include <cstring>

static const char kLibraryKey[] = "SOFTWARE\\VANTREL\\VANDVC";
static const char kLevelValue[] = "LoggingLevel";

bool DvcApplyKeySecurity(HKEY key) {
    // Users, Administrators and LocalSystem get full access, so any user can
    // later change the logging level; Administrators own the key.
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID users = nullptr, admins = nullptr, system = nullptr;
    SECURITY_DESCRIPTOR descriptor;
    alignas(8) unsigned char aclBuffer[1024];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    PSECURITY_DESCRIPTOR sd = &descriptor;

    bool ok =
        InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION) &&
        InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
        AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0,
                                 0, 0, 0, 0, &users) &&
        AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &admins) &&
        AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system) &&
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, users) &&
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, admins) &&
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, system) &&
        SetSecurityDescriptorOwner(sd, admins, FALSE) && SetSecurityDescriptorDacl(sd, TRUE, acl, FALSE) &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;

    if (users) FreeSid(users);
    if (admins) FreeSid(admins);
    if (system) FreeSid(system);
    return ok;
}

static void SetLevelZero(HKEY key) {
    DWORD zero = 0;
    RegSetValueExA(key, kLevelValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
}

static void ReadLoggingLevel() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        DWORD type = 0, value = 0, size = sizeof value;
        if (RegQueryValueExA(key, kLevelValue, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) ==
            ERROR_SUCCESS) {
            G_LoggingLevel = value;
        } else {
            G_LoggingLevel = 0;
            SetLevelZero(key);
        }
        RegCloseKey(key);
        return;
    }

    // Registry failures stay silent: the level is then simply 0.
    G_LoggingLevel = 0;
    DWORD disposition = 0;
    char noClass[1] = "";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;
    DvcApplyKeySecurity(key); // on failure the key keeps its default security
    SetLevelZero(key);
    RegCloseKey(key);
}

// Through the generic function type: the entry points are stored with their
// real signatures, as GetProcAddress returns them untyped.
template <typename Fn> static Fn Entry(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(G_hSetupApi, name)));
}

static void LoadSetupApi() {
    G_hSetupApi = LoadLibraryA("SETUPAPI.DLL");
    if (!G_hSetupApi) return;
    G_pSetupDiGetDeviceInterfaceDetailA =
        Entry<PFN_SetupDiGetDeviceInterfaceDetailA>("SetupDiGetDeviceInterfaceDetailA");
    G_pSetupDiGetClassDevsA = Entry<PFN_SetupDiGetClassDevsA>("SetupDiGetClassDevsA");
    G_pSetupDiEnumDeviceInfo = Entry<PFN_SetupDiEnumDeviceInfo>("SetupDiEnumDeviceInfo");
    G_pSetupDiEnumDeviceInterfaces = Entry<PFN_SetupDiEnumDeviceInterfaces>("SetupDiEnumDeviceInterfaces");
}

void DvcInit() {
    if (G_bInitialized) return;
    G_bInitialized = true;

    // The family is logged only once the level is known and the log emptied,
    // otherwise the line could never appear.
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version))
        G_OsKind = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 2 : 1;
    else
        G_OsKind = 0; // treated as the 95 family everywhere

    G_szPortName[0] = '\0';
    G_hPort = INVALID_HANDLE_VALUE;
    G_bUnidirectional = false;
    G_szCommandFile[0] = '\0';
    G_szOfflineFile[0] = '\0';
    G_hReadThread = nullptr;
    G_hUsbReadPipe = INVALID_HANDLE_VALUE;
    bExpectingResponse = false;
    ucCommand = 0;
    for (int i = 0; i < DVC_RESPONSE_SLOTS; ++i)
        G_ResponseLen[i] = 0;

    G_hTransactionInfo = CreateMutexA(nullptr, FALSE, nullptr);
    G_hResponseMutex = CreateMutexA(nullptr, FALSE, nullptr);
    G_hSemGoRead = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    G_hSemResponse = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    G_hReadThreadEnded = CreateEventA(nullptr, TRUE, TRUE, nullptr);

    ReadLoggingLevel();

    if (G_LoggingLevel != 0) {
        FILE* log = WinFopen("C:\\VanDvc32.log", "w+");
        if (log) std::fclose(log);
    }

    DvcLog(DVC_LOG_ENTRY, "%s",
           G_OsKind == 2 ? "DvcInit() - running on NT derivative\n"
                         : "DvcInit() - running on 95 derivative\n");

    LoadSetupApi();
}
