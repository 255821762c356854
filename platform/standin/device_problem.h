// Why a device could not be opened or written, kept in words for the user
// (HostDeviceProblem() in orbis_platform.h) and for FormatMessageA: the
// Windows error codes do not say which node or what to do about it.
#pragma once

#include <string>

namespace orbis::platform {

// Records why opening a host node failed (EACCES, EBUSY, ...) as the text
// HostDeviceProblem() gives; a later successful open of that node clears it.
void NoteHostNodeOpen(const std::string& node, int error);
void NoteHostProblem(const std::string& text);
// Why this thread's last device open failed on a host node ("" when it did not):
// forgotten when the thread's next device open begins.
std::string ThreadOpenCause();
void ForgetThreadOpenCause();

} // namespace orbis::platform
