// The device paths SETUPAPI.DLL lists for an interface class, asked the way
// the library asks; wrong structure sizes and short buffers are refused on the way.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace orbis::platformtest {

// In listing order; each path at most once.
std::vector<std::string> ListInterfaces(const GUID& cls);

// The spooler's printers as a Windows program sees them: "name=<the value>" for
// each entry, in the order RegEnumKeyExA gives them.
std::vector<std::string> SpoolerPorts(const char* value = "Port");

} // namespace orbis::platformtest
