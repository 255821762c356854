#include "readback.h"

#include "npa_exchange.h"

#include <cstdlib>

namespace {

bool IsDecimal(const std::string& text) {
    size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

} // namespace

bool IsPrinterPortName(const std::string& port) {
    return port.rfind("LPT", 0) == 0 || port.rfind("USB", 0) == 0;
}

bool SameSettingValue(const std::string& name, const std::string& sent, const std::string& held) {
    if (IsNpaTextSetting(name) && !NpaWriteCommands.count(name + ":" + UpperCase(sent))) return sent == held;
    if (IsNpaRangeSetting(name) && IsDecimal(sent) && IsDecimal(held))
        return std::strtoll(sent.c_str(), nullptr, 10) == std::strtoll(held.c_str(), nullptr, 10);
    // A value name: the write upper-cases the item, the reply gives the catalogue's spelling.
    return UpperCase(sent) == UpperCase(held);
}

std::vector<SettingNotTaken> CompareWithHeld(const std::vector<std::string>& sent, const StringMap& held) {
    std::vector<SettingNotTaken> notTaken;
    for (const std::string& item : sent) {
        size_t colon = item.find(':');
        // An item without ':' is a whole command of the catalogue; nothing names its value.
        if (colon == std::string::npos) continue;
        std::string name = UpperCase(item.substr(0, colon));
        std::string value = item.substr(colon + 1);
        // A setting the catalogue never reads cannot be checked.
        if (!NpaReadCommands.count(name)) continue;
        auto it = held.find(name);
        if (it == held.end()) {
            notTaken.push_back({name, value, "", false});
            continue;
        }
        if (!SameSettingValue(name, value, it->second)) notTaken.push_back({name, value, it->second, true});
    }
    return notTaken;
}

int ReadBackCheck(const char* port, const std::vector<std::string>& sent,
                  std::vector<SettingNotTaken>& notTaken, StringMap& held) {
    notTaken.clear();
    StringMap values;
    int result = QueryPrinterSettings(port, values);
    if (result != 0) return result;
    held = std::move(values);
    notTaken = CompareWithHeld(sent, held);
    return 0;
}
