// Idle connections to the printers' device sockets, kept for the next open of
// the same pipe. Opening or closing a pipe handle never reaches a real printer,
// so a connection may outlive the handle it served; what the printer holds for
// the pipe goes on as on the device.
#pragma once

#include <string>

namespace orbis::platform::pool {

// A kept connection to socketPath that opened with `hello`, still quiet and
// connected; -1 when there is none.
int Take(const std::string& socketPath, const std::string& hello);
// Keeps fd for a later Take, or closes it when enough are kept already.
void Keep(const std::string& socketPath, const std::string& hello, int fd);

} // namespace orbis::platform::pool
