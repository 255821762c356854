#include "npa_catalogue.h"

#include "win32.h"

#include <algorithm>
#include <unordered_set>

std::map<std::string, NpaCommand> NpaReadCommands;
std::map<std::string, NpaCommand> NpaWriteCommands;
std::map<std::string, StringMap> NpaReplyValues;
StringMap NpaDefaultValues;
std::vector<std::string> NpaTextSettings;
std::vector<std::string> NpaRangeSettings;

std::string UpperCase(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char& c = text[i];
        if (IsDBCSLeadByte(static_cast<BYTE>(c)))
            ++i; // the trail byte of a double-byte character is no letter, whatever its value
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

namespace {

// The one-time load flag; the layer relies on its callers running one after the other.
bool NpaCatalogueLoaded = false;

// Membership of the two name lists (which keep repeats, in file order), so that a
// large catalogue loads in linear time.
std::unordered_set<std::string> TextSettingSet;
std::unordered_set<std::string> RangeSettingSet;

constexpr DWORD kSectionBufferSize = 32767;
constexpr size_t kHeaderDigits = 18; // the nine header bytes of a write command

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Calls `line` for each line of a whole section, in file order.
template <typename F> void ForEachSectionLine(const char* section, F line) {
    std::vector<char> buffer(kSectionBufferSize, '\0');
    DWORD count = GetPrivateProfileSectionA(section, buffer.data(), kSectionBufferSize, CatalogueFile());
    if (count == 0) return;
    const char* p = buffer.data();
    const char* end = buffer.data() + std::min<DWORD>(count, kSectionBufferSize - 1);
    while (p < end && *p) {
        std::string text(p);
        p += text.size() + 1;
        line(text);
    }
}

void LoadReadLine(const std::string& raw) {
    std::string line = UpperCase(raw);
    size_t eq = line.find('=');
    if (eq == std::string::npos) return; // not a NAME=HEX line
    NpaCommand command;
    command.Bytes = ParseCatalogueHex(line.substr(eq + 1));
    // The query takes the identifier from bytes 7 and 8; a shorter entry cannot be asked for.
    if (command.Bytes.size() < 9) return;
    NpaReadCommands[line.substr(0, eq)] = std::move(command);
}

void LoadWriteLine(const std::string& raw) {
    std::string line = UpperCase(raw);
    bool starred = !line.empty() && line[0] == '*';
    if (starred) line.erase(0, 1);
    size_t eq = line.find('=');
    if (eq == std::string::npos) return; // not a KEY=HEX line
    std::string key = line.substr(0, eq);
    std::string hex = line.substr(eq + 1);
    size_t colon = key.find(':');
    std::string name = key.substr(0, colon);
    std::string value = colon == std::string::npos ? std::string() : key.substr(colon + 1);

    if (starred) {
        size_t dots = value.find("..");
        if (dots == std::string::npos) {
            NpaDefaultValues[name] = value;
        } else {
            size_t next = value.find("..", dots + 2);
            NpaDefaultValues[name] =
                next == std::string::npos ? std::string() : value.substr(dots + 2, next - dots - 2);
        }
    }

    if (value.empty()) {
        NpaTextSettings.push_back(name);
        TextSettingSet.insert(name);
    }
    if (value.find("..") != std::string::npos) {
        NpaRangeSettings.push_back(name);
        RangeSettingSet.insert(name);
    }
    std::string data = hex.size() > kHeaderDigits ? hex.substr(kHeaderDigits) : std::string();
    NpaReplyValues[name][data] = value;

    const std::string& commandKey = TextSettingSet.count(name) || RangeSettingSet.count(name) ? name : key;
    NpaWriteCommands[commandKey].Bytes = ParseCatalogueHex(hex);
}

} // namespace

namespace {
std::string& CurrentCatalogueFile() {
    static std::string file = kCatalogueFile;
    return file;
}
} // namespace

const char* CatalogueFile() {
    return CurrentCatalogueFile().c_str();
}

void UseCatalogueFile(const std::string& path) {
    CurrentCatalogueFile() = path.empty() ? std::string(kCatalogueFile) : path;
}

std::vector<unsigned char> ParseCatalogueHex(const std::string& digits) {
    // The count is held in 16 bits.
    size_t count = std::min<size_t>(digits.size() / 2, 0xFFFF);
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        // Like a base-16 conversion of the pair: digits up to the first non-digit.
        int high = HexDigitValue(digits[2 * i]);
        int low = HexDigitValue(digits[2 * i + 1]);
        if (high < 0)
            bytes[i] = 0;
        else if (low < 0)
            bytes[i] = static_cast<unsigned char>(high);
        else
            bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return bytes;
}

std::vector<std::string> SplitCatalogueList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

bool IsNpaTextSetting(const std::string& name) {
    return TextSettingSet.count(name) != 0;
}
bool IsNpaRangeSetting(const std::string& name) {
    return RangeSettingSet.count(name) != 0;
}

void LoadNpaCatalogue() {
    if (NpaCatalogueLoaded) return;
    NpaCatalogueLoaded = true;
    ForEachSectionLine("NPA READ SETTING", LoadReadLine);
    ForEachSectionLine("NPA WRITE VALUES", LoadWriteLine);
}

namespace settings_internal {
void ResetNpaCatalogue() {
    NpaCatalogueLoaded = false;
    NpaReadCommands.clear();
    NpaWriteCommands.clear();
    NpaReplyValues.clear();
    NpaDefaultValues.clear();
    NpaTextSettings.clear();
    NpaRangeSettings.clear();
    TextSettingSet.clear();
    RangeSettingSet.clear();
}
} // namespace settings_internal
