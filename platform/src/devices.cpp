// Device names: in-process overrides now; the root's device sockets come with the simulator.
#include "devices.h"

#include <cctype>

namespace orbis::platform {

bool IsDeviceName(const std::string& name) {
    if (name.rfind("\\\\?\\", 0) == 0 || name.rfind("\\\\.\\", 0) == 0) return true;
    if (name.size() < 4) return false;
    if (std::toupper((unsigned char)name[0]) != 'L' || std::toupper((unsigned char)name[1]) != 'P' ||
        std::toupper((unsigned char)name[2]) != 'T')
        return false;
    size_t i = 3;
    while (i < name.size() && std::isdigit((unsigned char)name[i])) ++i;
    if (i == 3) return false;
    return i == name.size() || (i + 1 == name.size() && name[i] == ':');
}

std::shared_ptr<IoObject> OpenDevice(const std::string& name, DWORD access, DWORD* error) {
    for (const auto& device : DeviceOverrides()) {
        std::string pipe;
        if (name == device.name) {
            pipe.clear();
        } else if (name.size() > device.name.size() && name.compare(0, device.name.size(), device.name) == 0 &&
                   name[device.name.size()] == '\\') {
            pipe = name.substr(device.name.size() + 1);
        } else {
            continue;
        }
        auto object = device.open(pipe, access);
        if (!object) *error = ERROR_FILE_NOT_FOUND;
        return object;
    }
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

} // namespace orbis::platform
