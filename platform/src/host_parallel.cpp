// PLACEHOLDER until the host parallel port source lands.
#include "host_devices.h"

namespace orbis::platform {
std::shared_ptr<IoObject> OpenHostParallel(const HostSources&, int, DWORD, DWORD* error) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}
int HostParallelFamily(const HostSources&) {
    return 0;
}
} // namespace orbis::platform
