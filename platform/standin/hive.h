// The registry in memory: keys by full path ("HKEY_LOCAL_MACHINE\SOFTWARE\X"),
// compared without regard to case but kept as created, and the REGEDIT4 text
// form the hive file is stored in.
#pragma once

#include "../win32.h"

#include <map>
#include <string>
#include <vector>

namespace orbis::platform {

struct RegValue {
    std::string name; // "" is the key's default value ("@" in the file)
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKey {
    std::string path;
    std::vector<RegValue> values;
    std::string dacl; // "S-1-5-32-545:F003F,..."; kept in the file as a comment line
    RegValue* FindValue(const std::string& name);
};

class Hive {
  public:
    // Null when the key does not exist. The four root keys always exist.
    RegKey* Find(const std::string& path);
    // Creates the key and any missing parents; *created tells whether it was new.
    RegKey& Create(const std::string& path, bool* created);
    // Names (last path component) of the direct subkeys, in case-insensitive order.
    std::vector<std::string> Subkeys(const std::string& path) const;
    void Erase(const std::string& path);

    // False when the text is not a hive this code wrote or could have written.
    static bool Parse(const std::string& text, Hive* hive);
    std::string Serialize() const;

    static bool IsRootName(const std::string& upperName);

  private:
    std::map<std::string, RegKey> keys_; // by upper-case path
};

} // namespace orbis::platform
