// Helpers shared by the path-taking calls.
#pragma once

#include <string>

namespace orbis::platform {

// mkdir -p; true when the directory exists afterwards.
bool MakeDirectories(const std::string& hostPath);

// The root's name as the environment gives it, not checked (Root() checks it):
// for telling one root from another where nothing is read or written there.
std::string RootName();

// ASCII upper case, for the case-insensitive names of Windows.
std::string UpperAscii(std::string text);

} // namespace orbis::platform
