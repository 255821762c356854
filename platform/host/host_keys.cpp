#include "host_keys.h"

#include "host_devices.h"

#include <cstring>

namespace orbis::platform {

namespace {

std::vector<BYTE> SzData(const std::string& text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

} // namespace

void SetHostValue(Hive& hive, const std::string& key, const char* name, DWORD type, std::vector<BYTE> data,
                  bool* changed) {
    bool created = false;
    RegKey& k = hive.Create(key, &created);
    if (created) *changed = true;
    RegValue* value = k.FindValue(name);
    if (value && value->type == type && value->data == data) return;
    if (value) {
        value->type = type;
        value->data = std::move(data);
    } else {
        k.values.push_back({name, type, std::move(data)});
    }
    *changed = true;
}

void SetHostString(Hive& hive, const std::string& key, const char* name, const std::string& text,
                   bool* changed) {
    SetHostValue(hive, key, name, REG_SZ, SzData(text), changed);
}

void SetHostDword(Hive& hive, const std::string& key, const char* name, DWORD number, bool* changed) {
    std::vector<BYTE> data(sizeof number);
    std::memcpy(data.data(), &number, sizeof number);
    SetHostValue(hive, key, name, REG_DWORD, std::move(data), changed);
}

bool HasHostSource(RegKey* key, const char* source) {
    RegValue* marker = key ? key->FindValue(kHostSourceValue) : nullptr;
    return marker && marker->type == REG_SZ && marker->data == SzData(source);
}

bool DwordValue(const RegValue* value, DWORD* out) {
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return false;
    std::memcpy(out, value->data.data(), sizeof(DWORD));
    return true;
}

} // namespace orbis::platform
