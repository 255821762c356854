// PLACEHOLDER until the CUPS source lands.
#include "host_devices.h"

namespace orbis::platform {
std::optional<std::vector<CupsPrinter>> QueryCupsPrinters(const HostSources&) {
    return std::nullopt;
}
void ApplyCupsPrinters(Hive&, const std::vector<CupsPrinter>&, const std::vector<KernelUsbPrinter>&, bool*) {}
} // namespace orbis::platform
