// Writing the registry keys of host printers. The refresh runs on every look
// at these keys, so a value is written only when it differs, and a refresh
// that finds nothing new leaves the hive file alone.
#pragma once

#include "hive.h"

#include <string>
#include <vector>

namespace orbis::platform {

// Creates the key when missing; *changed when it was created or the value differed.
void SetHostValue(Hive& hive, const std::string& key, const char* name, DWORD type, std::vector<BYTE> data,
                  bool* changed);
void SetHostString(Hive& hive, const std::string& key, const char* name, const std::string& text,
                   bool* changed);
void SetHostDword(Hive& hive, const std::string& key, const char* name, DWORD number, bool* changed);

// Whether the key exists and carries the HostSource marker `source`.
bool HasHostSource(RegKey* key, const char* source);
// A REG_DWORD value's number; false for a missing value or another type.
bool DwordValue(const RegValue* value, DWORD* out);

} // namespace orbis::platform
