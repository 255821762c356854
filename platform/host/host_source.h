// The host's own devices as a device source (registered in platform/register_sources.cpp).
#pragma once

#include "device_sources.h"

namespace orbis::platform {

const DeviceSource* HostDevicesSource();

} // namespace orbis::platform
