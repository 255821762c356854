// The catalogue res/quillon.ini and the printer's firmware table are written
// apart; these checks make sure they agree, reading the catalogue the way the
// program does (the profile calls) and decoding values the way it does.
#include "firmware.h"
#include "nvram.h"

#include "win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

using namespace orbis::sim;

namespace {

std::string CataloguePath() {
    const char* source = std::getenv("ORBIS_SOURCE_DIR");
    return std::string(source ? source : "..") + "/res/quillon.ini";
}

std::vector<std::string> SectionLines(const char* section) {
    std::vector<char> buffer(32767);
    DWORD n =
        GetPrivateProfileSectionA(section, buffer.data(), DWORD(buffer.size()), CataloguePath().c_str());
    std::vector<std::string> lines;
    for (DWORD at = 0; at < n;) {
        std::string line(&buffer[at]);
        lines.push_back(line);
        at += DWORD(line.size()) + 1;
    }
    return lines;
}

std::string Upper(std::string s) {
    for (auto& c : s)
        c = char(std::toupper((unsigned char)c));
    return s;
}

std::string Value(const std::string& section, const char* key) {
    char buffer[256] = {};
    GetPrivateProfileStringA(section.c_str(), key, "", buffer, sizeof buffer, CataloguePath().c_str());
    return buffer;
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!item.empty()) items.push_back(item);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return items;
}

// A starred line's default: the value, or for LOW..DEFAULT..HIGH the middle part.
std::string DefaultOf(const std::string& value) {
    size_t dots = value.find("..");
    if (dots == std::string::npos) return value;
    size_t next = value.find("..", dots + 2);
    return next == std::string::npos ? "" : value.substr(dots + 2, next - dots - 2);
}

// The tables the settings layer builds from the two NPA sections.
struct Catalogue {
    std::map<std::string, Bytes> read;                                     // name -> read command
    std::map<std::string, std::map<std::string, std::string>> replyValues; // name -> data hex -> value
    std::map<std::string, std::string> defaults;
    std::set<std::string> text, range;
    struct WriteLine {
        std::string name, value;
        Bytes command;
    };
    std::vector<WriteLine> writes;

    Catalogue() {
        for (const auto& line : SectionLines("NPA READ SETTING")) {
            std::string u = Upper(line);
            size_t eq = u.find('=');
            Bytes bytes;
            if (eq != std::string::npos && ParseHex(u.substr(eq + 1), &bytes))
                read[u.substr(0, eq)] = bytes;
            else
                ADD_FAILURE() << "bad read line " << line;
        }
        for (const auto& line : SectionLines("NPA WRITE VALUES")) {
            std::string u = Upper(line);
            bool starred = !u.empty() && u[0] == '*';
            if (starred) u.erase(0, 1);
            size_t eq = u.find('='), colon = u.find(':');
            if (eq == std::string::npos || colon > eq) {
                ADD_FAILURE() << "bad write line " << line;
                continue;
            }
            std::string name = u.substr(0, colon), value = u.substr(colon + 1, eq - colon - 1);
            if (starred) defaults[name] = DefaultOf(value);
            if (value.empty()) text.insert(name);
            if (value.find("..") != std::string::npos) range.insert(name);
            std::string hex = u.substr(eq + 1);
            replyValues[name][hex.size() > 18 ? hex.substr(18) : ""] = value;
            Bytes command;
            EXPECT_TRUE(ParseHex(hex, &command)) << line;
            writes.push_back({name, value, command});
        }
    }

    // What the settings layer shows for data the printer reports.
    std::string Decode(const std::string& name, const Bytes& data) const {
        if (data.empty()) return "";
        auto table = replyValues.find(name);
        if (table != replyValues.end()) {
            auto hit = table->second.find(Hex(data));
            if (hit != table->second.end()) return hit->second;
        }
        if (text.count(name)) return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
        if (range.count(name)) {
            uint32_t v = 0;
            for (uint8_t b : data)
                v = v << 8 | b;
            return std::to_string(int32_t(v));
        }
        return "";
    }
};

uint16_t IdOf(const Bytes& command) {
    return uint16_t(command[7] << 8 | command[8]);
}

// What the firmware can report for a setting: all codes, or the range ends, a
// middle value, the special values and the factory default.
std::vector<Bytes> Reportable(const FirmwareSetting& s) {
    std::vector<Bytes> values = {s.factory};
    if (s.kind == DataKind::Code)
        for (uint8_t c : s.codes)
            values.push_back({c});
    if (s.kind == DataKind::Number) {
        for (uint32_t v : {s.min, s.max, s.min + (s.max - s.min) / 2})
            values.push_back(NumberData(s, v));
        for (uint32_t v : s.specials)
            values.push_back(NumberData(s, v));
    }
    if (s.kind == DataKind::Text) values.push_back(Bytes(s.maxText, 'x'));
    return values;
}

const std::vector<std::string> kSettingKeys = {
    "BlankPgs",     "SepSheets",    "SepSrc",       "Tray1PapType",   "Tray1PapSize", "Tray2PapType",
    "Tray2PapSize", "Cust1Type",    "Cust2Type",    "Cust3Type",      "Cust4Type",    "Cust5Type",
    "Cust6Type",    "Cust1Name",    "Cust2Name",    "Cust3Name",      "Cust4Name",    "Cust5Name",
    "Cust6Name",    "PlainTxt",     "CardStkTxt",   "TrnsprncyTxt",   "LabelTxt",     "BondTxt",
    "EnvTxt",       "LtrHdTxt",     "PreprntTxt",   "ColorTxt",       "Cust1Txt",     "Cust2Txt",
    "Cust3Txt",     "Cust4Txt",     "Cust5Txt",     "Cust6Txt",       "PlainWgt",     "CardStkWgt",
    "TrnsprncyWgt", "LabelWgt",     "BondWgt",      "EnvWgt",         "LtrHdWgt",     "PreprntWgt",
    "ColorWgt",     "Cust1Wgt",     "Cust2Wgt",     "Cust3Wgt",       "Cust4Wgt",     "Cust5Wgt",
    "Cust6Wgt",     "TonerAlarm",   "DKMX",         "Emulation",      "JamRcvry",     "Language",
    "PrtArea",      "PropTag",      "PwrSvr",       "PrtTimeout",     "AutoCont",     "ResRed",
    "ResSav",       "ResetCtrl",    "PrtBufCtrl",   "A4Width",        "AutoCR",       "AutoLF",
    "LinesPerPg",   "AssignTray1",  "AssignTray2",  "AssignManPaper", "AssignManEnv", "FeedTimeout",
    "JobTimeout",   "WaitTimeout",  "FontPriority", "Mode1",          "Mode2",        "AdvStatus",
    "HonorInit",    "ParPclEmuflp", "ParPsEmuflp",  "Protocol",       "UsbPclEmuflp", "UsbPsEmuflp"};

} // namespace

TEST(CatalogueFirmware, EveryReadIdentifierExistsInTheFirmware) {
    Catalogue c;
    ASSERT_EQ(c.read.size(), kSettingKeys.size());
    EXPECT_LE(c.read.size(), 125u);
    std::set<uint16_t> ids;
    size_t replySize = 7;
    for (const auto& [name, command] : c.read) {
        ASSERT_GE(command.size(), 9u) << name;
        EXPECT_EQ(size_t(command[1]) << 8 | command[2], command.size() - 3) << name;
        const FirmwareSetting* s = FindSetting(IdOf(command));
        ASSERT_NE(s, nullptr) << name << " reads an identifier the printer lacks";
        EXPECT_TRUE(ids.insert(s->id).second) << name << " shares its identifier";
        size_t longest = s->kind == DataKind::Text ? s->maxText : s->kind == DataKind::Number ? s->width : 1;
        EXPECT_LE(longest, s->kind == DataKind::Text ? 40u : 4u) << name;
        replySize += 3 + longest;
    }
    EXPECT_LE(replySize, 2048u) << "the query reply would not fit";
}

TEST(CatalogueFirmware, EveryWriteLineSetsAValueTheFirmwareAccepts) {
    Catalogue c;
    ASSERT_FALSE(c.writes.empty());
    for (const auto& w : c.writes) {
        std::string line = w.name + ":" + w.value;
        ASSERT_TRUE(c.read.count(w.name)) << line << " has no read line";
        ASSERT_GE(w.command.size(), 9u) << line;
        EXPECT_EQ(size_t(w.command[1]) << 8 | w.command[2], w.command.size() - 3) << line;
        EXPECT_EQ(w.command[3] & 0x10, 0) << line << " asks for a reply the program never reads";
        ASSERT_EQ(IdOf(w.command), IdOf(c.read[w.name])) << line;
        const FirmwareSetting* s = FindSetting(IdOf(w.command));
        ASSERT_NE(s, nullptr) << line;
        Bytes data(w.command.begin() + 9, w.command.end());
        if (w.value.empty()) { // text template: the text is appended
            EXPECT_EQ(s->kind, DataKind::Text) << line;
            EXPECT_TRUE(data.empty()) << line;
        } else if (w.value.find("..") != std::string::npos) { // number template
            ASSERT_EQ(s->kind, DataKind::Number) << line;
            EXPECT_EQ(data.size(), s->width) << line;
            // Its own data must never be reported, or it would decode as the template.
            EXPECT_FALSE(Accepts(*s, data)) << line;
            auto parts =
                Split(w.value.substr(0, w.value.find("..")) + "," + w.value.substr(w.value.rfind("..") + 2));
            for (const auto& end : parts)
                EXPECT_TRUE(Accepts(*s, NumberData(*s, uint32_t(std::stoul(end))))) << line;
        } else {
            EXPECT_TRUE(Accepts(*s, data)) << line << " writes " << Hex(data);
        }
    }
}

TEST(CatalogueFirmware, EveryReportableValueDecodesAndDefaultsMatchTheFactory) {
    Catalogue c;
    for (const auto& [name, command] : c.read) {
        const FirmwareSetting* s = FindSetting(IdOf(command));
        ASSERT_NE(s, nullptr);
        for (const Bytes& value : Reportable(*s)) {
            std::string decoded = c.Decode(name, value);
            if (s->kind == DataKind::Text) continue; // any text is shown as it is
            EXPECT_FALSE(decoded.empty()) << name << " cannot show " << Hex(value);
            EXPECT_EQ(decoded.find(".."), std::string::npos)
                << name << " shows " << Hex(value) << " as a template";
        }
        if (c.defaults.count(name))
            EXPECT_EQ(c.defaults[name], c.Decode(name, s->factory)) << name;
        else
            ADD_FAILURE() << name << " has no starred default";
    }
}

TEST(CatalogueFirmware, EverySettingSectionNamesCatalogueValues) {
    Catalogue c;
    std::set<int> displayIds = {61231, 61232, 61233, 61234, 61235, 61236, 61246, 61247, 61248, 61250, 61251,
                                61252, 61253, 61254, 61255, 61256, 61257, 61258, 61259, 61260, 61261, 61262,
                                61264, 61265, 61266, 61267, 61280, 61281, 61282, 61283, 61284};
    for (int id = 61268; id <= 61279; ++id)
        displayIds.insert(id);
    for (int id = 61308; id <= 61332; ++id)
        displayIds.insert(id);
    for (const auto& key : kSettingKeys) {
        std::string name = Value(key, "NpaName");
        ASSERT_TRUE(c.read.count(name)) << key << " names " << name;
        EXPECT_EQ(name, Upper(name)) << key;
        const FirmwareSetting* s = FindSetting(IdOf(c.read[name]));
        auto values = Split(Value(key, "Values"));
        int numValues = std::atoi(Value(key, "NumValues").c_str());
        auto ids = Split(Value(key, "ValueIds"));
        for (int i = 0; i < numValues && i < int(values.size()); ++i)
            EXPECT_TRUE(c.replyValues[name].size() &&
                        std::any_of(c.writes.begin(), c.writes.end(),
                                    [&](auto& w) { return w.name == name && w.value == values[i]; }))
                << key << " value " << values[i] << " has no write line";
        if (!ids.empty()) {
            EXPECT_EQ(int(ids.size()), numValues) << key;
            EXPECT_LE(values.size(), 15u) << key;
            for (const auto& id : ids)
                EXPECT_TRUE(displayIds.count(std::atoi(id.c_str()))) << key << " id " << id;
        }
        if (!Value(key, "MinVal").empty()) {
            ASSERT_EQ(s->kind, DataKind::Number) << key;
            for (const char* end : {"MinVal", "MaxVal"}) {
                uint32_t v = uint32_t(std::atoi(Value(key, end).c_str()));
                EXPECT_TRUE(Accepts(*s, NumberData(*s, v))) << key << " " << end;
            }
        }
        if (!Value(key, "MaxLength").empty()) {
            ASSERT_EQ(s->kind, DataKind::Text) << key;
            EXPECT_LE(size_t(std::atoi(Value(key, "MaxLength").c_str())), s->maxText) << key;
        }
    }
}

TEST(CatalogueFirmware, TreeSectionsSpellThePageArrangement) {
    struct Item {
        int stringId, viewId;
        std::vector<std::pair<int, int>> children; // label id, page id
    };
    std::vector<Item> expected = {{61214, 1, {{61219, 2}, {61218, 3}, {61217, 4}}},
                                  {61225, 5, {}},
                                  {61224, 6, {}},
                                  {61221, 7, {{61222, 8}}},
                                  {61223, 9, {}},
                                  {61211, 0, {{61212, 10}, {61213, 11}}}};
    auto roots = Split(Value("TreeRoot", "Children"));
    ASSERT_EQ(std::atoi(Value("TreeRoot", "NumChildren").c_str()), int(expected.size()));
    ASSERT_GE(roots.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::atoi(Value(roots[i], "StringId").c_str()), expected[i].stringId) << roots[i];
        EXPECT_EQ(std::atoi(Value(roots[i], "ViewId").c_str()), expected[i].viewId) << roots[i];
        auto children = Split(Value(roots[i], "Children"));
        ASSERT_EQ(std::atoi(Value(roots[i], "NumChildren").c_str()), int(expected[i].children.size()))
            << roots[i];
        for (size_t k = 0; k < expected[i].children.size(); ++k) {
            EXPECT_EQ(std::atoi(Value(children.at(k), "StringId").c_str()), expected[i].children[k].first);
            EXPECT_EQ(std::atoi(Value(children.at(k), "ViewId").c_str()), expected[i].children[k].second);
        }
    }
}
