#include "settings_fixture.h"

#include "dvc.h"
#include "npa_exchange.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

void SettingsFixture::SetUp() {
    char dir[] = "/tmp/settings_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    setenv("ORBIS_ROOT", (dir_ + "/root").c_str(), 1);
    settings_internal::ResetNpaCatalogue();
    NpaSettingIds.clear();
}

void SettingsFixture::TearDown() {
    DvcShutdown();
    settings_internal::ResetNpaCatalogue();
    std::filesystem::current_path(previousDir_);
    std::filesystem::remove_all(dir_);
}

void SettingsFixture::WriteCatalogue(const std::string& content) {
    std::ofstream(dir_ + "/quillon.ini", std::ios::binary | std::ios::trunc) << content;
    settings_internal::ResetNpaCatalogue();
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    return HexString(bytes.data(), bytes.size());
}

std::vector<std::string> SentPackets(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> packets;
    for (size_t pos = 0, length; pos + 3 <= bytes.size(); pos += length) {
        length = (bytes[pos + 1] << 8 | bytes[pos + 2]) + 3;
        if (pos + length > bytes.size()) break;
        std::vector<unsigned char> packet(bytes.begin() + pos, bytes.begin() + pos + length);
        if (!(length > 4 && packet[4] == 0xA4)) packets.push_back(Hex(packet)); // not an NPA start
    }
    return packets;
}

std::string Describe(const ValueList& d) {
    std::string out;
    for (const auto& [key, text] : d)
        out += key + "=" + text + ";";
    return out;
}
std::string Describe(const TextSetting& d) {
    return d.NpaName + "/" + std::to_string(d.MaxLength);
}
std::string Describe(const CheckPair& d) {
    return d.ClearedKey + "|" + d.SetKey;
}
std::string Describe(const RangeSetting& d) {
    return d.NpaName + " " + std::to_string(d.MinVal) + ".." + std::to_string(d.MaxVal);
}
std::string Describe(const SwitchedRange& d) {
    return Describe(RangeSetting{d.NpaName, d.MinVal, d.MaxVal}) + " " + d.OffValue;
}
std::string Describe(const RadioRange& d) {
    return Describe(RangeSetting{d.NpaName, d.MinVal, d.MaxVal}) + " " + d.RadioValue1 + "|" + d.RadioValue2;
}
