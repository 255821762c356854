// The Reg* calls over the hive file.
#include "hive_store.h"
#include "device_sources.h"
#include "kernel_object.h"
#include "paths.h"
#include "security.h"

#include "../orbis_platform.h"

#include <algorithm>
#include <cstring>

namespace orbis::platform {
namespace {

class KeyObject : public KernelObject {
  public:
    explicit KeyObject(std::string path) : KernelObject(ObjectKind::RegistryKey), path(std::move(path)) {}
    const std::string path;
};

// The full path of an open or predefined key; false for anything else.
bool KeyPath(HKEY key, std::string* path) {
    switch (reinterpret_cast<uintptr_t>(key)) {
    case 0x80000000u:
        *path = "HKEY_CLASSES_ROOT";
        return true;
    case 0x80000001u:
        *path = "HKEY_CURRENT_USER";
        return true;
    case 0x80000002u:
        *path = "HKEY_LOCAL_MACHINE";
        return true;
    case 0x80000003u:
        *path = "HKEY_USERS";
        return true;
    }
    auto object = LookupAs<KeyObject>(reinterpret_cast<HANDLE>(key), ObjectKind::RegistryKey);
    if (!object) return false;
    *path = object->path;
    return true;
}

// Joins a key and a subkey name; ERROR_BAD_PATHNAME for names Windows refuses.
// The keys a plugged-in printer or a new print queue changes: the spooler's
// printers and the device classes.
bool IsHostPrinterKey(const std::string& path) {
    std::string upper = UpperAscii(path);
    for (const char* prefix : {"HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\PRINT\\PRINTERS",
                               "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\DEVICECLASSES"})
        if (upper.rfind(prefix, 0) == 0) return true;
    return false;
}

LONG SubkeyPath(HKEY key, LPCSTR subKey, std::string* path) {
    if (!KeyPath(key, path)) return ERROR_INVALID_HANDLE;
    if (!subKey || !*subKey) return ERROR_SUCCESS;
    std::string sub = subKey;
    while (!sub.empty() && sub.back() == '\\')
        sub.pop_back();
    if (sub.empty() || sub[0] == '\\' || sub.find("\\\\") != std::string::npos) return ERROR_BAD_PATHNAME;
    *path += "\\" + sub;
    return ERROR_SUCCESS;
}

HKEY NewKeyHandle(const std::string& path) {
    return reinterpret_cast<HKEY>(InsertHandle(std::make_shared<KeyObject>(path)));
}

// Runs fn on an existing key of the hive (ERROR_KEY_DELETED when it vanished).
template <class Fn> LONG ReadKey(HKEY hKey, Fn fn) {
    std::string path;
    if (!KeyPath(hKey, &path)) return ERROR_INVALID_HANDLE;
    return ReadHive([&](Hive& hive) -> LONG {
        RegKey* key = hive.Find(path);
        return key ? fn(hive, *key) : ERROR_KEY_DELETED;
    });
}

template <class Fn> LONG ModifyKey(HKEY hKey, Fn fn) {
    std::string path;
    if (!KeyPath(hKey, &path)) return ERROR_INVALID_HANDLE;
    return ModifyHive([&](Hive& hive, bool* changed) -> LONG {
        RegKey* key = hive.Find(path);
        return key ? fn(hive, *key, changed) : ERROR_KEY_DELETED;
    });
}

} // namespace

std::string KeyDaclForTesting(HKEY root, const std::string& subKey) {
    std::string path, dacl;
    if (SubkeyPath(root, subKey.c_str(), &path) != ERROR_SUCCESS) return "";
    ReadHive([&](Hive& hive) -> LONG {
        if (RegKey* key = hive.Find(path)) dacl = key->dacl;
        return ERROR_SUCCESS;
    });
    return dacl;
}

} // namespace orbis::platform

using namespace orbis::platform;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string path;
    if (LONG rc = SubkeyPath(hKey, lpSubKey, &path); rc != ERROR_SUCCESS) return rc;
    if (IsHostPrinterKey(path)) RefreshDeviceKeys();
    std::string found;
    LONG rc = ReadHive([&](Hive& hive) -> LONG {
        RegKey* key = hive.Find(path);
        if (!key) return ERROR_FILE_NOT_FOUND;
        found = key->path;
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) *phkResult = NewKeyHandle(found);
    return rc;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string path;
    if (LONG rc = SubkeyPath(hKey, lpSubKey, &path); rc != ERROR_SUCCESS) return rc;
    std::string found;
    bool created = false;
    LONG rc = ModifyHive([&](Hive& hive, bool* changed) -> LONG {
        RegKey& key = hive.Create(path, &created);
        *changed = created;
        found = key.path;
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    *phkResult = NewKeyHandle(found);
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    std::string path;
    if (!KeyPath(hKey, &path)) return ERROR_INVALID_HANDLE;
    if (reinterpret_cast<uintptr_t>(hKey) >= 0x80000000u) return ERROR_SUCCESS; // predefined keys stay open
    RemoveHandle(reinterpret_cast<HANDLE>(hKey));
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    return ReadKey(hKey, [&](Hive&, RegKey& key) -> LONG {
        RegValue* value = key.FindValue(lpValueName ? lpValueName : "");
        if (!value) return ERROR_FILE_NOT_FOUND;
        if (lpType) *lpType = value->type;
        const DWORD size = static_cast<DWORD>(value->data.size());
        if (!lpcbData) return ERROR_SUCCESS;
        if (lpData && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData && size) std::memcpy(lpData, value->data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    std::string name = lpValueName ? lpValueName : "";
    return ModifyKey(hKey, [&](Hive&, RegKey& key, bool* changed) -> LONG {
        RegValue value{name, dwType, std::vector<BYTE>(lpData, lpData + cbData)};
        if (RegValue* existing = key.FindValue(name)) {
            existing->type = value.type;
            existing->data = std::move(value.data);
        } else {
            key.values.push_back(std::move(value));
        }
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::string name = UpperAscii(lpValueName ? lpValueName : "");
    return ModifyKey(hKey, [&](Hive&, RegKey& key, bool* changed) -> LONG {
        auto it = std::find_if(key.values.begin(), key.values.end(),
                               [&](const RegValue& value) { return UpperAscii(value.name) == name; });
        if (it == key.values.end()) return ERROR_FILE_NOT_FOUND;
        key.values.erase(it);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    std::string path;
    if (LONG rc = SubkeyPath(hKey, lpSubKey, &path); rc != ERROR_SUCCESS) return rc;
    if (Hive::IsRootName(UpperAscii(path))) return ERROR_ACCESS_DENIED;
    return ModifyHive([&](Hive& hive, bool* changed) -> LONG {
        if (!hive.Find(path)) return ERROR_FILE_NOT_FOUND;
        if (!hive.Subkeys(path).empty()) return ERROR_ACCESS_DENIED; // only leaf keys can be deleted
        hive.Erase(path);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
    return ReadKey(hKey, [&](Hive& hive, RegKey& key) -> LONG {
        auto names = hive.Subkeys(key.path);
        if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
        const std::string& name = names[dwIndex];
        if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
        if (lpcchClass) *lpcchClass = 0;
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
    return ReadKey(hKey, [&](Hive& hive, RegKey& key) -> LONG {
        auto names = hive.Subkeys(key.path);
        DWORD maxSubKey = 0, maxName = 0, maxData = 0;
        for (const auto& name : names)
            maxSubKey = std::max(maxSubKey, static_cast<DWORD>(name.size()));
        for (const auto& value : key.values) {
            maxName = std::max(maxName, static_cast<DWORD>(value.name.size()));
            maxData = std::max(maxData, static_cast<DWORD>(value.data.size()));
        }
        if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
        if (lpcchClass) *lpcchClass = 0;
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(names.size());
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSubKey;
        if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
        if (lpcValues) *lpcValues = static_cast<DWORD>(key.values.size());
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
        if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LONG RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                       PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    std::string dacl;
    if (!DescribeDacl(pSecurityDescriptor, &dacl)) return ERROR_INVALID_PARAMETER;
    if (!(SecurityInformation & DACL_SECURITY_INFORMATION)) {
        std::string path;
        return KeyPath(hKey, &path) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; // the owner is not kept
    }
    return ModifyKey(hKey, [&](Hive&, RegKey& key, bool* changed) -> LONG {
        key.dacl = dacl;
        *changed = true;
        return ERROR_SUCCESS;
    });
}
