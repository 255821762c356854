// Reading the security structures the library builds.
#pragma once

#include "../win32.h"

#include <string>

namespace orbis::platform {

// "S-1-5-32-545:F003F,S-1-5-18:F003F": the DACL's SIDs in order with their access masks.
// Empty for a null or malformed ACL.
std::string FormatDacl(const ACL* acl);

// The DACL of a security descriptor as FormatDacl writes it ("" when none is present).
// False for something that is not an initialised descriptor.
bool DescribeDacl(const void* securityDescriptor, std::string* dacl);

} // namespace orbis::platform
