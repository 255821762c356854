// How a page presents one setting: the six descriptor kinds and the readers
// that fill them from the setting's own catalogue section.
#pragma once

#include "npa_catalogue.h"

#include <string>

// "NPANAME:VALUE" -> display text, for a setting chosen from a list.
struct ValueList : StringMap {
    using StringMap::StringMap;
};

struct TextSetting {
    std::string NpaName;
    int MaxLength = 40; // longest text a page accepts
};

// A check box: ClearedKey is written when it is cleared, SetKey when it is set
// (both "NPANAME:VALUE"; both empty unless the section lists exactly two values).
struct CheckPair {
    std::string ClearedKey;
    std::string SetKey;
};

struct RangeSetting {
    std::string NpaName;
    int MinVal = 0;
    int MaxVal = 120;
};

// A number that a check box can switch off; OffValue is written when it is cleared.
struct SwitchedRange {
    std::string NpaName;
    int MinVal = 0;
    int MaxVal = 120;
    std::string OffValue;
};

// A number or one of two named values chosen by radio buttons.
struct RadioRange {
    std::string NpaName;
    int MinVal = 0;
    int MaxVal = 120;
    std::string RadioValue1;
    std::string RadioValue2;
};

enum class DescriptorKind { ValueList, TextSetting, CheckPair, RangeSetting, SwitchedRange, RadioRange };

// Readers: each is given the section name (the setting key) and fills the descriptor.
void ReadValueList(const char* section, ValueList& out);
void ReadTextSetting(const char* section, TextSetting& out);
void ReadCheckPair(const char* section, CheckPair& out);
void ReadRangeSetting(const char* section, RangeSetting& out);
void ReadSwitchedRange(const char* section, SwitchedRange& out);
void ReadRadioRange(const char* section, RadioRange& out);
