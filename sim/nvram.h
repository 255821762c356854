// The printer's settings memory: every firmware setting's current data, kept in
// a small text file ("IIII=HEXDATA" per line) replaced atomically on each change.
#pragma once

#include "firmware.h"

#include <map>
#include <string>

namespace orbis::sim {

class Nvram {
  public:
    // Factory defaults, overlaid with what the file holds (lines the firmware
    // would not accept are ignored). An empty path keeps everything in memory.
    explicit Nvram(std::string path);

    const Bytes& Get(uint16_t id) const { return values_.at(id); }
    // Stores and persists; false when the file could not be written (the value is kept in memory).
    bool Set(uint16_t id, const Bytes& data);
    const std::string& Path() const { return path_; }

  private:
    bool Save() const;
    std::string path_;
    std::map<uint16_t, Bytes> values_;
};

std::string Hex(const uint8_t* data, size_t size);
inline std::string Hex(const Bytes& data) {
    return Hex(data.data(), data.size());
}
bool ParseHex(const std::string& text, Bytes* out);

} // namespace orbis::sim
