// The simulated ports as a device source (registered in platform/register_sources.cpp).
#pragma once

#include "device_sources.h"

namespace orbis::platform {

const DeviceSource* SimulatedPortsSource();

} // namespace orbis::platform
