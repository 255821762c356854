// The one place the stand-in meets the rooms that depend on it: the simulated
// ports and the host's devices register as printer sources before main(), in
// that order (a simulated printer hides a host device of the same name). This
// object is linked into every program that links orbis_platform.
#include "host/host_source.h"
#include "simports/simulated_source.h"

namespace {

struct RegisterSources {
    RegisterSources() {
        orbis::platform::RegisterDeviceSource(orbis::platform::SimulatedPortsSource());
        orbis::platform::RegisterDeviceSource(orbis::platform::HostDevicesSource());
    }
} g_registerSources;

} // namespace
