#include "nvram.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace orbis::sim {

std::string Hex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

bool ParseHex(const std::string& text, Bytes* out) {
    out->clear();
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int v = 0;
        for (int k = 0; k < 2; ++k) {
            char c = text[i + k];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        out->push_back(uint8_t(v));
    }
    return true;
}

Nvram::Nvram(std::string path) : path_(std::move(path)) {
    for (const auto& s : FirmwareTable())
        values_[s.id] = s.factory;
    if (path_.empty()) return;
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq != 4) continue;
        Bytes id, data;
        if (!ParseHex(line.substr(0, 4), &id) || !ParseHex(line.substr(5), &data)) continue;
        const FirmwareSetting* s = FindSetting(uint16_t(id[0] << 8 | id[1]));
        if (s && Accepts(*s, data)) values_[s->id] = data;
    }
}

bool Nvram::Set(uint16_t id, const Bytes& data) {
    values_[id] = data;
    return Save();
}

bool Nvram::Save() const {
    if (path_.empty()) return true;
    std::error_code ec;
    std::filesystem::path target(path_);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // Written beside the target and renamed over it, so a crash leaves the old or the new file whole.
    // A new file of a name nobody can guess: a link planted beside the target is never written through.
    std::string temp = path_ + ".tmp-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    std::string text;
    for (const auto& [id, data] : values_)
        text += Hex(std::vector<uint8_t>{uint8_t(id >> 8), uint8_t(id)}) + '=' + Hex(data) + '\n';
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !written) {
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path_.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace orbis::sim
