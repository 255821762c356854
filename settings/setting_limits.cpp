#include "setting_limits.h"

#include "descriptors.h"
#include "npa_catalogue.h"
#include "setting_keys.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>

struct SettingValueCheck::Limits {
    bool text = false;
    int maxLength = 40;
    bool range = false;
    long min = 0, max = 0;
};

namespace {

using Limits = SettingValueCheck::Limits;

// What the pages allow, by NPA name, from every setting's own section.
std::map<std::string, Limits> PageLimits() {
    std::map<std::string, Limits> limits;
    auto range = [&](const std::string& name, int min, int max) {
        Limits& l = limits[name];
        l.range = true;
        l.min = min;
        l.max = max;
    };
    auto read = [&](DescriptorKind kind, const char* key) {
        switch (kind) {
        case DescriptorKind::TextSetting: {
            TextSetting t;
            ReadTextSetting(key, t);
            limits[t.NpaName].text = true;
            limits[t.NpaName].maxLength = t.MaxLength;
            break;
        }
        case DescriptorKind::RangeSetting: {
            RangeSetting r;
            ReadRangeSetting(key, r);
            range(r.NpaName, r.MinVal, r.MaxVal);
            break;
        }
        case DescriptorKind::SwitchedRange: {
            SwitchedRange r;
            ReadSwitchedRange(key, r);
            range(r.NpaName, r.MinVal, r.MaxVal);
            break;
        }
        case DescriptorKind::RadioRange: {
            RadioRange r;
            ReadRadioRange(key, r);
            range(r.NpaName, r.MinVal, r.MaxVal);
            break;
        }
        default:
            break;
        }
    };
#define ORBIS_READ_LIMITS(kind, key) read(DescriptorKind::kind, #key);
    ORBIS_SETTING_KEYS(ORBIS_READ_LIMITS)
#undef ORBIS_READ_LIMITS
    return limits;
}

// The value names the catalogue can write for `name`, comma separated.
std::string NamedValues(const std::string& name) {
    std::string list;
    const std::string prefix = name + ":";
    for (auto it = NpaWriteCommands.lower_bound(prefix);
         it != NpaWriteCommands.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        list += (list.empty() ? "" : ", ") + it->first.substr(prefix.size());
    return list;
}

bool ParseNumber(const std::string& text, long& value) {
    if (text.empty() || text.size() > 11) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

} // namespace

SettingValueCheck::SettingValueCheck() {
    LoadNpaCatalogue();
    PageLimits_ = new std::map<std::string, Limits>(PageLimits());
}

SettingValueCheck::~SettingValueCheck() {
    delete PageLimits_;
}

Misfit SettingValueCheck::Check(const std::string& name, const std::string& value) const {
    const std::map<std::string, Limits>& limits = *PageLimits_;
    if (NpaWriteCommands.count(name + ":" + UpperCase(value))) return {}; // a value name of the setting
    auto limit = limits.find(name);
    auto templ = NpaWriteCommands.find(name);
    if (IsNpaTextSetting(name) && templ != NpaWriteCommands.end()) {
        int maxLength = limit != limits.end() && limit->second.text ? limit->second.maxLength : 40;
        long bytes = static_cast<long>(value.size());
        if (bytes > maxLength)
            return {MisfitKind::TooLong, "the text takes " + std::to_string(bytes) +
                                             " bytes in code page 949; at most " + std::to_string(maxLength)};
        return {};
    }
    if (IsNpaRangeSetting(name) && templ != NpaWriteCommands.end()) {
        // The command's data field bounds the number too: one byte or four.
        long min = templ->second.Bytes.size() == 10 ? 0 : INT_MIN;
        long max = templ->second.Bytes.size() == 10 ? 255 : INT_MAX;
        if (limit != limits.end() && limit->second.range) {
            min = std::max(min, limit->second.min);
            max = std::min(max, limit->second.max);
        }
        std::string named = NamedValues(name);
        std::string expected = "a number from " + std::to_string(min) + " to " + std::to_string(max) +
                               (named.empty() ? "" : " or one of: " + named);
        long number = 0;
        if (!ParseNumber(value, number)) return {MisfitKind::BadNumber, name + " takes " + expected};
        if (number < min || number > max) return {MisfitKind::OutOfRange, name + " takes " + expected};
        return {};
    }
    std::string named = NamedValues(name);
    if (named.empty()) return {MisfitKind::UnknownName, name + " is not a setting the catalogue can write"};
    return {MisfitKind::BadValue, "not a value of " + name + "; its values: " + named};
}
