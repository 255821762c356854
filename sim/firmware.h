// The printer's own table of settings: what each identifier accepts and what
// it holds from the factory. Kept apart from the catalogue file on purpose:
// a catalogue that disagrees with the printer must show up as a failing check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orbis::sim {

using Bytes = std::vector<uint8_t>;

enum class DataKind { Code, Number, Text };

// A number outside a setting's range with a meaning of its own, under the name
// the printer's manual gives it.
struct SpecialValue {
    uint32_t value = 0;
    const char* name = "";
};

struct FirmwareSetting {
    const char* name = ""; // for the activity log
    uint16_t id = 0;
    DataKind kind = DataKind::Code;
    std::vector<uint8_t> codes;         // Code: the accepted one-byte codes
    uint8_t width = 0;                  // Number: 1 or 4 bytes, big-endian
    uint32_t min = 0, max = 0;          // Number: accepted range
    std::vector<SpecialValue> specials; // Number: accepted values outside the range (off, none, ...)
    size_t maxText = 0;                 // Text: longest accepted text, in bytes of code page 949
    Bytes factory;                      // factory default, as reported
};

const std::vector<FirmwareSetting>& FirmwareTable();
const FirmwareSetting* FindSetting(uint16_t id);

// True when the data is a value the setting can hold.
bool Accepts(const FirmwareSetting& setting, const uint8_t* data, size_t size);
inline bool Accepts(const FirmwareSetting& setting, const Bytes& data) {
    return Accepts(setting, data.data(), data.size());
}

// Data of a number in the setting's width.
Bytes NumberData(const FirmwareSetting& setting, uint32_t value);

} // namespace orbis::sim
