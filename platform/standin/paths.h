// Helpers shared by the path-taking calls.
#pragma once

#include <string>

namespace orbis::platform {

// mkdir -p; true when the directory exists afterwards.
bool MakeDirectories(const std::string& hostPath);

// ASCII upper case, for the case-insensitive names of Windows.
std::string UpperAscii(std::string text);

} // namespace orbis::platform
