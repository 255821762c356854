// The list of in-process devices that CreateFileA finds before the root's sockets.
#include "devices.h"

#include <mutex>

namespace orbis::platform {
namespace {

std::mutex overridesMutex;
std::vector<DeviceOverride>& Overrides() {
    static auto* list = new std::vector<DeviceOverride>;
    return *list;
}

} // namespace

void RegisterDeviceOverride(DeviceOverride device) {
    std::lock_guard lock(overridesMutex);
    // A second registration of a name replaces the first, like replugging.
    for (auto& existing : Overrides()) {
        if (existing.name == device.name) {
            existing = std::move(device);
            return;
        }
    }
    Overrides().push_back(std::move(device));
}

void ClearDeviceOverrides() {
    std::lock_guard lock(overridesMutex);
    Overrides().clear();
}

std::vector<DeviceOverride> DeviceOverrides() {
    std::lock_guard lock(overridesMutex);
    return Overrides();
}

} // namespace orbis::platform
