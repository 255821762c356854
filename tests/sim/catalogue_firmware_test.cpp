// The catalogue res/quillon.ini and the printer's firmware table are written
// apart; these checks make sure they agree, reading the catalogue with the
// program's own reader and decoding values the way the program does.
#include "firmware.h"
#include "nvram.h"

#include "settings/npa_catalogue.h"
#include "settings/npa_exchange.h"
#include "settings/setting_keys.h"

#include "win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <unistd.h>
#include <vector>

using namespace orbis::sim;

namespace {

#define ORBIS_KEY_NAME(kind, key) #key,
const std::vector<std::string> kSettingKeys = {ORBIS_SETTING_KEYS(ORBIS_KEY_NAME)};

std::string Value(const std::string& section, const char* key) {
    char buffer[256] = {};
    GetPrivateProfileStringA(section.c_str(), key, "", buffer, sizeof buffer, kCatalogueFile);
    return buffer;
}

int Number(const std::string& section, const char* key) {
    return std::atoi(Value(section, key).c_str());
}

uint16_t IdOf(const std::vector<unsigned char>& command) {
    return uint16_t(command.at(7) << 8 | command.at(8));
}

const FirmwareSetting* SettingOf(const std::string& name) {
    auto read = NpaReadCommands.find(name);
    return read == NpaReadCommands.end() ? nullptr : FindSetting(IdOf(read->second.Bytes));
}

// How the program shows data the printer reports for a setting.
std::string Decode(const std::string& name, const Bytes& data) {
    std::vector<unsigned char> image(9, 0);
    image.insert(image.end(), data.begin(), data.end());
    return DecodeNpaValue(name, image.data(), image.size());
}

class CatalogueFirmware : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const char* source = std::getenv("ORBIS_SOURCE_DIR");
        ASSERT_EQ(::chdir((std::string(source ? source : "..") + "/res").c_str()), 0);
        LoadNpaCatalogue();
    }
    // The write lines as they stand: name, value, command.
    struct WriteLine {
        std::string name, value;
        Bytes command;
    };
    static std::vector<WriteLine> WriteLines() {
        std::vector<char> buffer(32767);
        DWORD n = GetPrivateProfileSectionA("NPA WRITE VALUES", buffer.data(), DWORD(buffer.size()),
                                            kCatalogueFile);
        std::vector<WriteLine> lines;
        for (DWORD at = 0; at < n;) {
            std::string line(&buffer[at]);
            at += DWORD(line.size()) + 1;
            for (char& c : line)
                c = char(std::toupper((unsigned char)c)); // the program compares names in upper case
            size_t start = line[0] == '*', eq = line.find('='), colon = line.find(':');
            Bytes command;
            EXPECT_TRUE(eq != std::string::npos && colon < eq && ParseHex(line.substr(eq + 1), &command))
                << line;
            if (colon < eq)
                lines.push_back(
                    {line.substr(start, colon - start), line.substr(colon + 1, eq - colon - 1), command});
        }
        return lines;
    }
};

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
        for (const SpecialValue& special : s.specials)
            values.push_back(NumberData(s, special.value));
    }
    return values;
}

} // namespace

TEST_F(CatalogueFirmware, EveryReadIdentifierExistsInTheFirmware) {
    ASSERT_EQ(NpaReadCommands.size(), kSettingKeys.size());
    EXPECT_LE(NpaReadCommands.size(), 125u);
    std::set<uint16_t> ids;
    size_t replySize = 7;
    for (const auto& [name, command] : NpaReadCommands) {
        const auto& bytes = command.Bytes;
        ASSERT_GE(bytes.size(), 9u) << name;
        EXPECT_EQ(size_t(bytes[1]) << 8 | bytes[2], bytes.size() - 3) << name;
        const FirmwareSetting* s = SettingOf(name);
        ASSERT_NE(s, nullptr) << name << " reads an identifier the printer lacks";
        EXPECT_TRUE(ids.insert(s->id).second) << name << " shares its identifier";
        size_t longest = s->kind == DataKind::Text ? s->maxText : s->kind == DataKind::Number ? s->width : 1;
        EXPECT_LE(longest, s->kind == DataKind::Text ? 40u : 4u) << name;
        replySize += 3 + longest;
    }
    EXPECT_LE(replySize, 2048u) << "the query reply would not fit";
}

TEST_F(CatalogueFirmware, EveryWriteLineSetsAValueTheFirmwareAccepts) {
    const auto lines = WriteLines();
    ASSERT_FALSE(lines.empty());
    for (const auto& w : lines) {
        std::string line = w.name + ":" + w.value;
        ASSERT_TRUE(NpaReadCommands.count(w.name)) << line << " has no read line";
        ASSERT_GE(w.command.size(), 9u) << line;
        EXPECT_EQ(size_t(w.command[1]) << 8 | w.command[2], w.command.size() - 3) << line;
        EXPECT_EQ(w.command[3] & 0x10, 0) << line << " asks for a reply the program never reads";
        ASSERT_EQ(IdOf(w.command), IdOf(NpaReadCommands[w.name].Bytes)) << line;
        const FirmwareSetting* s = FindSetting(IdOf(w.command));
        Bytes data(w.command.begin() + 9, w.command.end());
        if (w.value.empty()) { // text template: the text is appended
            EXPECT_EQ(s->kind, DataKind::Text) << line;
            EXPECT_TRUE(data.empty()) << line;
        } else if (size_t dots = w.value.find(".."); dots != std::string::npos) { // number template
            ASSERT_EQ(s->kind, DataKind::Number) << line;
            EXPECT_EQ(data.size(), s->width) << line;
            // Its own data must never be reported, or it would decode as the template.
            EXPECT_FALSE(Accepts(*s, data)) << line;
            for (const auto& end : {w.value.substr(0, dots), w.value.substr(w.value.rfind("..") + 2)})
                EXPECT_TRUE(Accepts(*s, NumberData(*s, uint32_t(std::stoul(end))))) << line;
        } else {
            EXPECT_TRUE(Accepts(*s, data)) << line << " writes " << Hex(data);
            if (s->kind == DataKind::Number) // a named value outside the range: the printer's name for it
                EXPECT_TRUE(std::any_of(s->specials.begin(), s->specials.end(),
                                        [&](const SpecialValue& v) {
                                            return NumberData(*s, v.value) == data && w.value == v.name;
                                        }))
                    << line << " writes " << Hex(data);
        }
    }
}

TEST_F(CatalogueFirmware, EveryReportableValueDecodesAndDefaultsMatchTheFactory) {
    for (const auto& [name, command] : NpaReadCommands) {
        const FirmwareSetting* s = SettingOf(name);
        ASSERT_NE(s, nullptr);
        if (s->kind != DataKind::Text) // any text is shown as it is
            for (const Bytes& value : Reportable(*s)) {
                std::string decoded = Decode(name, value);
                EXPECT_FALSE(decoded.empty()) << name << " cannot show " << Hex(value);
                EXPECT_EQ(decoded.find(".."), std::string::npos)
                    << name << " shows " << Hex(value) << " as a template";
            }
        ASSERT_TRUE(NpaDefaultValues.count(name)) << name << " has no starred default";
        EXPECT_EQ(NpaDefaultValues[name], Decode(name, s->factory)) << name;
    }
}

TEST_F(CatalogueFirmware, EverySettingSectionNamesCatalogueValues) {
    std::set<int> displayIds = {61231, 61232, 61233, 61234, 61235, 61236, 61246, 61247, 61248, 61250, 61251,
                                61252, 61253, 61254, 61255, 61256, 61257, 61258, 61259, 61260, 61261, 61262,
                                61264, 61265, 61266, 61267, 61280, 61281, 61282, 61283, 61284};
    for (int id = 61268; id <= 61279; ++id)
        displayIds.insert(id);
    for (int id = 61308; id <= 61332; ++id)
        displayIds.insert(id);
    const auto lines = WriteLines();
    for (const auto& key : kSettingKeys) {
        std::string name = Value(key, "NpaName");
        const FirmwareSetting* s = SettingOf(name);
        ASSERT_NE(s, nullptr) << key << " names " << name;
        auto values = SplitCatalogueList(Value(key, "Values"));
        auto ids = SplitCatalogueList(Value(key, "ValueIds"));
        for (int i = 0; i < Number(key, "NumValues") && i < int(values.size()); ++i)
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                    [&](auto& w) { return w.name == name && w.value == values[i]; }))
                << key << " value " << values[i] << " has no write line";
        if (!ids.empty()) {
            EXPECT_EQ(int(ids.size()), Number(key, "NumValues")) << key;
            EXPECT_LE(values.size(), 15u) << key;
            for (const auto& id : ids)
                EXPECT_TRUE(displayIds.count(std::atoi(id.c_str()))) << key << " id " << id;
        }
        if (Number(key, "NumRadios") != 0) // the second radio is "꺼짐": the printer's off
            EXPECT_EQ(values.at(1), "OFF") << key;
        if (!Value(key, "MinVal").empty()) {
            ASSERT_EQ(s->kind, DataKind::Number) << key;
            // The page shows every number the printer can hold, and its up-down control holds a
            // 16-bit position: a printer's value is never clamped into the range on showing.
            EXPECT_EQ(uint32_t(Number(key, "MinVal")), s->min) << key;
            EXPECT_EQ(uint32_t(Number(key, "MaxVal")), s->max) << key;
            EXPECT_LE(Number(key, "MaxVal"), 32767) << key;
        }
        if (!Value(key, "MaxLength").empty()) {
            ASSERT_EQ(s->kind, DataKind::Text) << key;
            EXPECT_LE(size_t(Number(key, "MaxLength")), s->maxText) << key;
        }
    }
}
