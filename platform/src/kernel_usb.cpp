// PLACEHOLDER until the kernel USB printer source lands.
#include "host_devices.h"

namespace orbis::platform {
std::vector<KernelUsbPrinter> ScanKernelUsbPrinters(const HostSources&) {
    return {};
}
void ApplyKernelUsbPrinters(Hive&, const std::vector<KernelUsbPrinter>&, bool*) {}
std::shared_ptr<IoObject> OpenKernelUsb(const HostSources&, const std::string&, DWORD, DWORD* error) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}
} // namespace orbis::platform
