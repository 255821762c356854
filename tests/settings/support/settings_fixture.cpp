#include "settings_fixture.h"

#include "dvc.h"
#include "npa_exchange.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

const char kCatalogue[] =
    "[NPA READ "
    "SETTING]\nBLANKPGS=A5000650E0E7200001\nPWRSVR=A5000650E0E7200010\nCUST1NAME=A5000650E0E7200040\n"
    "[NPA WRITE VALUES]\n*BLANKPGS:OFF=A5000750E0E720000100\nBLANKPGS:ON=A5000750E0E720000101\n"
    "PWRSVR:OFF=A5000750E0E720001000\n*PWRSVR:1..15..240=A5000750E0E72000100F\nCUST1NAME:="
    "A5000650E0E7200040\n"
    "LONGNUM:0..99999=A5000A50E0E720005000000000\nODDNUM:0..9=A5000850E0E72000600000\n"
    "[BlankPgs]\nNpaName=BLANKPGS\nNumValues=2\nValues=OFF,ON\nValueIds=61231,61232\n"
    "[PwrSvr]\nNpaName=PWRSVR\nMinVal=1\nMaxVal=240\nValues=OFF\n"
    "[Cust1Name]\nNpaName=CUST1NAME\nMaxLength=16\n";

void SettingsFixture::SetUp() {
    char dir[] = "/tmp/settings_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    setenv("ORBIS_ROOT", (dir_ + "/root").c_str(), 1);
    NpaSettingIds.clear();
    WriteCatalogue();
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
