// The NPA tables built once from the catalogue ".\quillon.ini": how each
// setting is read, how each of its values is written, how a reply's data maps
// back to a value name, and the defaults used when the printer cannot answer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using StringMap = std::map<std::string, std::string>;

// An NPA command held in memory.
struct NpaCommand {
    std::vector<unsigned char> Bytes;
    uint16_t Length() const { return static_cast<uint16_t>(Bytes.size()); }
};

// The catalogue's file name, relative to the current directory.
inline constexpr const char* kCatalogueFile = ".\\quillon.ini";
// The file every catalogue reader uses: kCatalogueFile, unless LocateCatalogue
// (catalogue_location.h) found it elsewhere.
const char* CatalogueFile();
// Points the readers at `path`; "" returns them to ".\quillon.ini".
void UseCatalogueFile(const std::string& path);

// Process-wide tables; every name in them is upper case and compared with case respected.
extern std::map<std::string, NpaCommand> NpaReadCommands;  // NPA name -> read command
extern std::map<std::string, NpaCommand> NpaWriteCommands; // NAME:VALUE (or NAME) -> write command
extern std::map<std::string, StringMap> NpaReplyValues;    // NPA name -> (data hex digits -> value name)
extern StringMap NpaDefaultValues;                         // NPA name -> default value text
extern std::vector<std::string> NpaTextSettings;           // names written as free text
extern std::vector<std::string> NpaRangeSettings;          // names written as a number

// Builds the tables on the first call; later calls do nothing.
void LoadNpaCatalogue();

// Splits a catalogue list at ","; empty items vanish, blanks are kept.
std::vector<std::string> SplitCatalogueList(const std::string& text);

// ASCII letters upper-cased; double-byte characters of the ANSI code page (949) left whole.
std::string UpperCase(std::string text);

// Converts a run of hex digit pairs to bytes (count = digits / 2, rounded down).
std::vector<unsigned char> ParseCatalogueHex(const std::string& digits);

bool IsNpaTextSetting(const std::string& name);
bool IsNpaRangeSetting(const std::string& name);

namespace settings_internal {
// Forgets every table and the loaded flag, so that a test can load another catalogue.
void ResetNpaCatalogue();
} // namespace settings_internal
