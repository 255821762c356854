// "SETUPAPI.DLL": lists present USB printer interfaces (filled in with the USB device layer).
#include "devices.h"

namespace orbis::platform {

FARPROC SetupApiProc(const char* name) { return nullptr; }

} // namespace orbis::platform
