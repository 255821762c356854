// LoadLibraryA/GetProcAddress: the one library the program loads at run time.
#include "devices.h"
#include "kernel_object.h"
#include "paths.h"

#include <mutex>

namespace orbis::platform {
namespace {

class ModuleObject : public KernelObject {
  public:
    ModuleObject() : KernelObject(ObjectKind::Module) {}
};

std::mutex moduleMutex;
HMODULE setupApi = nullptr; // one handle for all loads, like a real module
int setupApiLoads = 0;

bool IsSetupApi(std::string name) {
    auto slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    name = UpperAscii(name);
    return name == "SETUPAPI.DLL" || name == "SETUPAPI";
}

} // namespace
} // namespace orbis::platform

using namespace orbis::platform;

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    if (!lpLibFileName || !IsSetupApi(lpLibFileName)) {
        SetLastError(lpLibFileName ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(moduleMutex);
    if (!setupApi) setupApi = InsertHandle(std::make_shared<ModuleObject>());
    ++setupApiLoads;
    return setupApi;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    {
        std::lock_guard lock(moduleMutex);
        if (!hModule || hModule != setupApi || setupApiLoads == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    FARPROC proc = lpProcName ? SetupApiProc(lpProcName) : nullptr;
    if (!proc) SetLastError(ERROR_PROC_NOT_FOUND);
    return proc;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    std::lock_guard lock(moduleMutex);
    if (!hLibModule || hLibModule != setupApi || setupApiLoads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--setupApiLoads == 0) {
        RemoveHandle(setupApi);
        setupApi = nullptr; // a later load gets a fresh handle; the old one stays invalid
    }
    return TRUE;
}
