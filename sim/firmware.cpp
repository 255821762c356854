// Firmware settings of the Orbis LP 2200.
#include "firmware.h"

#include <iconv.h>
#include <map>

namespace orbis::sim {

namespace {

FirmwareSetting Make(const char* name, uint16_t id, DataKind kind) {
    FirmwareSetting s;
    s.name = name;
    s.id = id;
    s.kind = kind;
    return s;
}

FirmwareSetting Code(const char* name, uint16_t id, std::vector<uint8_t> codes, uint8_t factory) {
    FirmwareSetting s = Make(name, id, DataKind::Code);
    s.codes = std::move(codes);
    s.factory = {factory};
    return s;
}

FirmwareSetting OnOff(const char* name, uint16_t id, bool on) {
    return Code(name, id, {0, 1}, on ? 1 : 0);
}

FirmwareSetting Number(const char* name, uint16_t id, uint8_t width, uint32_t min, uint32_t max,
                       std::vector<SpecialValue> specials, uint32_t factory) {
    FirmwareSetting s = Make(name, id, DataKind::Number);
    s.width = width;
    s.min = min;
    s.max = max;
    s.specials = std::move(specials);
    s.factory = NumberData(s, factory);
    return s;
}

FirmwareSetting Text(const char* name, uint16_t id, size_t maxText) {
    FirmwareSetting s = Make(name, id, DataKind::Text);
    s.maxText = maxText;
    return s;
}

// Paper type codes: plain 1 .. coloured 8, custom types 0x11 .. 0x16.
const std::vector<uint8_t> kPaperTypes = {1, 2, 3, 4, 5, 6, 7, 8, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16};
// Paper size codes (PCL page-size numbers): executive 1, letter 2, legal 3, A5 25, A4 26, JIS B5 45,
// universal 101.
const std::vector<uint8_t> kPaperSizes = {2, 26, 3, 25, 45, 1, 101};
// Custom types: paper, card stock, transparency, labels, envelope.
const std::vector<uint8_t> kCustomBases = {1, 2, 3, 4, 9};
const std::vector<uint8_t> kTextures = {1, 2, 3}; // smooth, normal, rough
const std::vector<uint8_t> kWeights = {1, 2, 3};  // light, normal, heavy
constexpr uint8_t kNormal = 2;
// Tray renumbering: a PCL tray number, "off" (the printer's own numbering, shown as
// "꺼짐") or "none" (no number at all, shown as "없음").
const SpecialValue kAssignOff{0xFE, "OFF"}, kAssignNone{0xFD, "NONE"};
// Timers switched off.
const SpecialValue kTimerOff{0, "OFF"};

std::vector<FirmwareSetting> BuildTable() {
    std::vector<FirmwareSetting> t;
    t.push_back(Code("blank pages", 0x0101, {0, 1}, 0));
    t.push_back(Code("separator sheets", 0x0102, {0, 1, 2, 3}, 0));
    t.push_back(Code("separator source", 0x0103, {0, 1, 2, 3, 4}, 0));
    t.push_back(Code("tray 1 paper type", 0x0111, kPaperTypes, 1));
    t.push_back(Code("tray 1 paper size", 0x0112, kPaperSizes, 26));
    t.push_back(Code("tray 2 paper type", 0x0121, kPaperTypes, 1));
    t.push_back(Code("tray 2 paper size", 0x0122, kPaperSizes, 26));
    static const char* const customType[] = {"custom 1 type", "custom 2 type", "custom 3 type",
                                             "custom 4 type", "custom 5 type", "custom 6 type"};
    static const char* const customName[] = {"custom 1 name", "custom 2 name", "custom 3 name",
                                             "custom 4 name", "custom 5 name", "custom 6 name"};
    for (int i = 0; i < 6; ++i)
        t.push_back(Code(customType[i], uint16_t(0x0131 + i), kCustomBases, 1));
    for (int i = 0; i < 6; ++i)
        t.push_back(Text(customName[i], uint16_t(0x0141 + i), 16));

    // Texture and weight per paper type, in the order plain, card stock,
    // transparency, labels, bond, envelope, letterhead, preprinted, coloured.
    static const char* const texture[] = {"plain texture",      "card stock texture", "transparency texture",
                                          "labels texture",     "bond texture",       "envelope texture",
                                          "letterhead texture", "preprinted texture", "coloured texture"};
    static const uint8_t textureDefault[] = {2, 3, 1, 2, 3, 2, 2, 2, 2};
    for (int i = 0; i < 9; ++i)
        t.push_back(Code(texture[i], uint16_t(0x0201 + i), kTextures, textureDefault[i]));
    static const char* const customTexture[] = {"custom 1 texture", "custom 2 texture", "custom 3 texture",
                                                "custom 4 texture", "custom 5 texture", "custom 6 texture"};
    for (int i = 0; i < 6; ++i)
        t.push_back(Code(customTexture[i], uint16_t(0x0211 + i), kTextures, kNormal));
    static const char* const weight[] = {"plain weight",      "card stock weight", "transparency weight",
                                         "labels weight",     "bond weight",       "envelope weight",
                                         "letterhead weight", "preprinted weight", "coloured weight"};
    static const uint8_t weightDefault[] = {2, 3, 2, 2, 2, 3, 2, 2, 2};
    for (int i = 0; i < 9; ++i)
        t.push_back(Code(weight[i], uint16_t(0x0301 + i), kWeights, weightDefault[i]));
    static const char* const customWeight[] = {"custom 1 weight", "custom 2 weight", "custom 3 weight",
                                               "custom 4 weight", "custom 5 weight", "custom 6 weight"};
    for (int i = 0; i < 6; ++i)
        t.push_back(Code(customWeight[i], uint16_t(0x0311 + i), kWeights, kNormal));

    // Setup.
    t.push_back(Code("toner alarm", 0x0401, {0, 1, 2}, 1));
    t.push_back(OnOff("duplex key", 0x0402, false));
    t.push_back(Code("emulation", 0x0403, {0, 1, 2}, 0));
    t.push_back(Code("jam recovery", 0x0404, {0, 1, 2}, 2));
    t.push_back(Code("display language", 0x0405, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 1));
    t.push_back(Code("print area", 0x0406, {0, 1}, 0));
    t.push_back(Text("property tag", 0x0407, 32));
    t.push_back(Number("power saver minutes", 0x0408, 1, 1, 240, {kTimerOff}, 30));
    t.push_back(Number("print timeout seconds", 0x0409, 4, 1, 255, {kTimerOff}, 90));
    t.push_back(Number("auto continue seconds", 0x040A, 4, 5, 255, {kTimerOff}, 0));
    t.push_back(OnOff("resolution enhancement", 0x040B, true));
    t.push_back(OnOff("resource save", 0x040C, false));
    t.push_back(OnOff("reset control", 0x040D, false));
    t.push_back(OnOff("print buffer control", 0x040E, false));

    // PCL emulation.
    t.push_back(Code("A4 width", 0x0501, {0, 1}, 0));
    t.push_back(OnOff("auto CR after LF", 0x0502, false));
    t.push_back(OnOff("auto LF after CR", 0x0503, false));
    t.push_back(Number("lines per page", 0x0504, 1, 5, 128, {}, 64));
    t.push_back(Number("tray 1 number", 0x0511, 1, 0, 199, {kAssignOff, kAssignNone}, kAssignOff.value));
    t.push_back(Number("tray 2 number", 0x0512, 1, 0, 199, {kAssignOff, kAssignNone}, kAssignOff.value));
    t.push_back(
        Number("manual paper number", 0x0513, 1, 0, 199, {kAssignOff, kAssignNone}, kAssignOff.value));
    t.push_back(
        Number("manual envelope number", 0x0514, 1, 0, 199, {kAssignOff, kAssignNone}, kAssignOff.value));

    // PostScript.
    t.push_back(Number("manual feed timeout seconds", 0x0601, 4, 15, 300, {kTimerOff}, 60));
    // Up to about nine hours: within the 16-bit position of the utility's up-down controls.
    t.push_back(Number("job timeout seconds", 0x0602, 4, 5, 32767, {kTimerOff}, 0));
    t.push_back(Number("wait timeout seconds", 0x0603, 4, 15, 32767, {kTimerOff}, 40));
    t.push_back(Code("font priority", 0x0604, {0, 1, 2}, 0));

    // Ports.
    t.push_back(OnOff("parallel mode 1", 0x0701, false));
    t.push_back(OnOff("parallel mode 2", 0x0702, true));
    t.push_back(OnOff("advanced status", 0x0703, true));
    t.push_back(OnOff("honor init", 0x0704, false));
    t.push_back(OnOff("parallel PCL smart switch", 0x0705, true));
    t.push_back(OnOff("parallel PS smart switch", 0x0706, true));
    t.push_back(Code("parallel protocol", 0x0707, {0, 1}, 1));
    t.push_back(OnOff("USB PCL smart switch", 0x0711, true));
    t.push_back(OnOff("USB PS smart switch", 0x0712, true));
    return t;
}

// The printer's fonts hold the Korean code page 949: a text is accepted when
// every byte is printable and every double-byte character is one of the code page.
bool IsCodePageText(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (data[i] < 0x20 || data[i] == 0x7F) return false; // no control bytes, no terminator
    if (size == 0) return true;
    iconv_t cd = iconv_open("UTF-16LE", "CP949");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> in(data, data + size), out(2 * size + 8);
    char* from = in.data();
    char* to = out.data();
    size_t left = in.size(), room = out.size();
    bool whole = iconv(cd, &from, &left, &to, &room) != static_cast<size_t>(-1) && left == 0;
    iconv_close(cd);
    return whole;
}

} // namespace

const std::vector<FirmwareSetting>& FirmwareTable() {
    static const std::vector<FirmwareSetting> table = BuildTable();
    return table;
}

const FirmwareSetting* FindSetting(uint16_t id) {
    static const std::map<uint16_t, const FirmwareSetting*> index = [] {
        std::map<uint16_t, const FirmwareSetting*> m;
        for (const auto& s : FirmwareTable())
            m[s.id] = &s;
        return m;
    }();
    auto it = index.find(id);
    return it == index.end() ? nullptr : it->second;
}

Bytes NumberData(const FirmwareSetting& setting, uint32_t value) {
    if (setting.width == 1) return {uint8_t(value)};
    return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}

bool Accepts(const FirmwareSetting& setting, const uint8_t* data, size_t size) {
    switch (setting.kind) {
    case DataKind::Code:
        if (size != 1) return false;
        for (uint8_t c : setting.codes)
            if (c == data[0]) return true;
        return false;
    case DataKind::Number: {
        if (size != setting.width) return false;
        uint32_t v = 0;
        for (size_t i = 0; i < size; ++i)
            v = (v << 8) | data[i];
        if (v >= setting.min && v <= setting.max) return true;
        for (const SpecialValue& s : setting.specials)
            if (s.value == v) return true;
        return false;
    }
    case DataKind::Text:
        return size <= setting.maxText && IsCodePageText(data, size);
    }
    return false;
}

} // namespace orbis::sim
