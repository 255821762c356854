// The printer engine as an in-process device of the platform layer: after
// RegisterEngineDevice, CreateFileA on the name (a parallel port such as
// "LPT1", or a USB device path with its "\PIPE00" and "\PIPE01") reaches the
// engine directly, without a printer process. For fast, deterministic tests.
#pragma once

#include "engine.h"

#include <memory>
#include <string>
#include <vector>

namespace orbis::sim {

// pieces: sizes the USB output is cut into, cycled (empty: whole answers).
void RegisterEngineDevice(std::shared_ptr<Engine> engine, const std::string& name, bool usb,
                          std::vector<size_t> pieces = {});

} // namespace orbis::sim
