// The names CUPS' usb backend gives a printer in its device URI
// (usb://MFG/MDL?serial=S), derived here from the same device ID so that a
// queue and the plugged-in printer meet on one USB00n.
#include "host_devices.h"

#include "paths.h"

#include <cctype>

namespace orbis::platform {

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// One field of an IEEE 1284 device ID by its exact name (any letter case), trimmed.
std::string Field(const std::string& deviceId, const char* name) {
    size_t start = 0;
    while (start < deviceId.size()) {
        size_t end = deviceId.find(';', start);
        if (end == std::string::npos) end = deviceId.size();
        std::string field = deviceId.substr(start, end - start);
        size_t colon = field.find(':');
        if (colon != std::string::npos && UpperAscii(Trim(field.substr(0, colon))) == name)
            return Trim(field.substr(colon + 1));
        start = end + 1;
    }
    return std::string();
}

// The first of the names the ID has a non-empty value for.
std::string FirstField(const std::string& deviceId, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        std::string value = Field(deviceId, name);
        if (!value.empty()) return value;
    }
    return std::string();
}

bool StartsWithWord(const std::string& text, const std::string& word) {
    return !word.empty() && text.size() > word.size() &&
           UpperAscii(text.substr(0, word.size())) == UpperAscii(word) &&
           std::isspace((unsigned char)text[word.size()]);
}

} // namespace

CupsUsbName CupsUsbNameOf(const std::string& deviceId, const std::string& descriptorSerial) {
    CupsUsbName name;
    name.serial = FirstField(deviceId, {"SERIALNUMBER", "SERN", "SN"});
    if (name.serial.empty()) name.serial = descriptorSerial;
    std::string mfg = FirstField(deviceId, {"MANUFACTURER", "MFG"});
    std::string mdl = FirstField(deviceId, {"MODEL", "MDL"});
    if (mfg.empty() && mdl.empty()) return name; // nothing CUPS would name it by but "Unknown"
    if (UpperAscii(mfg) == "HEWLETT-PACKARD")
        mfg = "HP";
    else if (UpperAscii(mfg) == "LEXMARK INTERNATIONAL")
        mfg = "Lexmark";
    else if (mfg.empty())
        mfg = mdl.substr(0, mdl.find(' ')); // the model's first word
    if (mdl.empty()) mdl = "Printer";
    if (StartsWithWord(mdl, mfg)) mdl = Trim(mdl.substr(mfg.size()));
    name.makeModel = mfg + "/" + mdl;
    return name;
}

} // namespace orbis::platform
