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

#include <cstdlib>
#include <set>
#include <tuple>
#include <unistd.h>

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

// The setting a command reads or writes; null if the printer lacks it or the length field is wrong.
const FirmwareSetting* SettingOf(const std::vector<unsigned char>& command) {
    if (command.size() < 9 || (size_t(command[1]) << 8 | command[2]) != command.size() - 3) return nullptr;
    return FindSetting(uint16_t(command[7] << 8 | command[8]));
}

// How the program shows data the printer reports for a setting.
std::string Decode(const std::string& name, const Bytes& data) {
    std::vector<unsigned char> image(9, 0);
    image.insert(image.end(), data.begin(), data.end());
    return DecodeNpaValue(name, image.data(), image.size());
}

} // namespace

// Every setting's section, read line and write lines against the firmware. Sections and read lines come
// in equal numbers and name distinct identifiers, so every read line is checked.
TEST(CatalogueFirmware, EverySettingIsOneTheFirmwareHoldsWithValuesItTakesAndShows) {
    const char* source = std::getenv("ORBIS_SOURCE_DIR");
    ASSERT_EQ(::chdir((std::string(source ? source : "..") + "/res").c_str()), 0);
    LoadNpaCatalogue();
    ASSERT_EQ(NpaReadCommands.size(), kSettingKeys.size());
    EXPECT_LE(NpaReadCommands.size(), 125u);
    const auto inStringTable = [](int id) { // the value texts the program's string table holds
        return (id >= 61231 && id <= 61236) || (id >= 61246 && id <= 61284 && id != 61249 && id != 61263) ||
               (id >= 61308 && id <= 61332);
    };
    std::set<uint16_t> ids;
    size_t replySize = 7;
    for (const auto& key : kSettingKeys) {
        const std::string name = Value(key, "NpaName");
        const FirmwareSetting* s = SettingOf(NpaReadCommands[name].Bytes);
        ASSERT_NE(s, nullptr) << key << " reads " << name << ", which the printer lacks";
        EXPECT_TRUE(ids.insert(s->id).second) << name << " shares its identifier";
        size_t longest = s->kind == DataKind::Text ? s->maxText : s->kind == DataKind::Number ? s->width : 1;
        EXPECT_LE(longest, s->kind == DataKind::Text ? 40u : 4u) << name;
        replySize += 3 + longest;
        // What the firmware can report: every code, or the range's ends, middle and special values.
        std::vector<Bytes> reportable = {s->factory};
        for (uint8_t c : s->codes)
            reportable.push_back({c});
        for (uint32_t v : {s->min, s->max, s->min + (s->max - s->min) / 2})
            if (s->kind == DataKind::Number) reportable.push_back(NumberData(*s, v));
        for (const SpecialValue& special : s->specials)
            reportable.push_back(NumberData(*s, special.value));
        for (const Bytes& value : reportable) { // any text is shown as it is
            const std::string shown = Decode(name, value);
            EXPECT_TRUE(s->kind == DataKind::Text ||
                        (!shown.empty() && shown.find("..") == std::string::npos))
                << name << " shows " << Hex(value) << " as \"" << shown << "\"";
        }
        EXPECT_EQ(NpaDefaultValues[name], Decode(name, s->factory)) << name << " defaults otherwise";
        auto values = SplitCatalogueList(Value(key, "Values"));
        auto valueIds = SplitCatalogueList(Value(key, "ValueIds"));
        std::set<std::string> written;
        for (const auto& [hex, value] : NpaReplyValues[name]) {
            const std::string line = name + ":" + value + " writes " + hex;
            Bytes data;
            ASSERT_TRUE(ParseHex(hex, &data)) << line;
            written.insert(value);
            if (value.empty()) { // text template: the text is appended
                EXPECT_EQ(s->kind, DataKind::Text) << line;
                EXPECT_TRUE(data.empty()) << line;
            } else if (size_t dots = value.find(".."); dots != std::string::npos) { // number template
                ASSERT_EQ(s->kind, DataKind::Number) << line;
                EXPECT_EQ(data.size(), s->width) << line;
                // Its own data must never be reported, or it would decode as the template.
                EXPECT_FALSE(Accepts(*s, data)) << line;
                for (const auto& end : {value.substr(0, dots), value.substr(value.rfind("..") + 2)})
                    EXPECT_TRUE(Accepts(*s, NumberData(*s, uint32_t(std::stoul(end))))) << line;
            } else { // a named number outside the range: the printer's name for that special value
                EXPECT_TRUE(Accepts(*s, data)) << line;
                bool named = s->kind != DataKind::Number;
                for (const SpecialValue& v : s->specials)
                    named = named || (NumberData(*s, v.value) == data && value == v.name);
                EXPECT_TRUE(named) << line;
            }
        }
        for (int i = 0; i < Number(key, "NumValues") && i < int(values.size()); ++i)
            EXPECT_TRUE(written.count(values[i])) << key << " value " << values[i] << " has no write line";
        if (!valueIds.empty()) {
            EXPECT_EQ(int(valueIds.size()), Number(key, "NumValues")) << key;
            EXPECT_LE(values.size(), 15u) << key;
            for (const auto& id : valueIds)
                EXPECT_TRUE(inStringTable(std::atoi(id.c_str()))) << key << " id " << id;
        }
        // The second radio is "꺼짐": the printer's off.
        EXPECT_TRUE(Number(key, "NumRadios") == 0 || values.at(1) == "OFF") << key;
        // The page shows every number the printer holds, unclamped, in an up-down control of 16-bit
        // positions.
        if (!Value(key, "MinVal").empty()) {
            EXPECT_EQ(std::tuple(s->kind, Number(key, "MinVal"), Number(key, "MaxVal")),
                      std::tuple(DataKind::Number, int(s->min), int(s->max)))
                << key;
            EXPECT_LE(Number(key, "MaxVal"), 32767) << key;
        }
        EXPECT_TRUE(Value(key, "MaxLength").empty() ||
                    (s->kind == DataKind::Text && size_t(Number(key, "MaxLength")) <= s->maxText))
            << key;
    }
    EXPECT_LE(replySize, 2048u) << "the query reply would not fit";
    EXPECT_EQ(NpaReplyValues.size(), kSettingKeys.size()) << "write lines for a setting without a section";
    for (const auto& [key, command] : NpaWriteCommands) {
        const std::string name = key.substr(0, key.find(':'));
        EXPECT_EQ(SettingOf(command.Bytes), SettingOf(NpaReadCommands[name].Bytes)) << key;
        EXPECT_EQ(command.Bytes.at(3) & 0x10, 0) << key << " asks for a reply the program never reads";
    }
}
