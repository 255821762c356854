#include "settings_fixture.h"

#include "dvc.h"
#include "npa_exchange.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

void SettingsFixture::SetUp() {
    char dir[] = "/tmp/settings_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    previousDir_ = previous;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    setenv("ORBIS_ROOT", (dir_ + "/root").c_str(), 1);
    settings_internal::ResetNpaCatalogue();
    NpaSettingIds.clear();
}

void SettingsFixture::TearDown() {
    DvcShutdown();
    settings_internal::ResetNpaCatalogue();
    ASSERT_EQ(chdir(previousDir_.c_str()), 0);
    std::string command = "rm -rf '" + dir_ + "'";
    [[maybe_unused]] int rc = std::system(command.c_str());
}

void SettingsFixture::WriteCatalogue(const std::string& content) {
    std::ofstream(dir_ + "/quillon.ini", std::ios::binary | std::ios::trunc) << content;
    settings_internal::ResetNpaCatalogue();
}

std::vector<unsigned char> SettingsFixture::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::vector<unsigned char>> CommandFilePackets(const std::vector<unsigned char>& bytes) {
    std::vector<std::vector<unsigned char>> packets;
    size_t pos = 0;
    while (pos + 3 <= bytes.size()) {
        size_t length = (bytes[pos + 1] << 8 | bytes[pos + 2]) + 3;
        if (pos + length > bytes.size()) break;
        std::vector<unsigned char> packet(bytes.begin() + pos, bytes.begin() + pos + length);
        if (!(length > 4 && packet[4] == 0xA4)) packets.push_back(packet); // NPA start
        pos += length;
    }
    return packets;
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
