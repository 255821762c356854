// The list of printer sources the device calls ask.
#include "device_sources.h"

#include <algorithm>
#include <mutex>

namespace orbis::platform {
namespace {

std::mutex g_sourcesMutex;
// Built on first use: sources register from static constructors.
std::vector<const DeviceSource*>& Sources() {
    static auto* list = new std::vector<const DeviceSource*>;
    return *list;
}

} // namespace

void RegisterDeviceSource(const DeviceSource* source) {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    auto& list = Sources();
    if (std::find(list.begin(), list.end(), source) == list.end()) list.push_back(source);
}

std::vector<const DeviceSource*> DeviceSources() {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    return Sources();
}

void RefreshDeviceKeys() {
    for (const DeviceSource* source : DeviceSources())
        if (source->refreshKeys) source->refreshKeys();
}

} // namespace orbis::platform
