#include "descriptors.h"

#include "res/strings.h"
#include "win32.h"

#include <cstdlib>

namespace {

constexpr DWORD kNameBufferSize = 70;
constexpr DWORD kListBufferSize = 255;
constexpr DWORD kShortListBufferSize = 25;
constexpr size_t kMaxListItems = 15;

std::string ReadString(const char* section, const char* key, DWORD size) {
    std::string buffer(size, '\0');
    DWORD n = GetPrivateProfileStringA(section, key, "", buffer.data(), size, CatalogueFile());
    buffer.resize(n < size ? n : size - 1);
    return buffer;
}

int ReadInt(const char* section, const char* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, CatalogueFile()));
}

std::string NpaName(const char* section) {
    return ReadString(section, "NpaName", kNameBufferSize);
}

} // namespace

void ReadValueList(const char* section, ValueList& out) {
    std::string name = NpaName(section);
    unsigned count = static_cast<unsigned>(ReadInt(section, "NumValues", 0));
    if (count == 0) return;
    std::vector<std::string> values = SplitCatalogueList(ReadString(section, "Values", kListBufferSize));
    std::vector<std::string> ids = SplitCatalogueList(ReadString(section, "ValueIds", kListBufferSize));
    // A catalogue promising more values than it lists gets only the ones it lists.
    for (size_t i = 0; i < count && i < kMaxListItems && i < values.size() && i < ids.size(); ++i)
        out[name + ":" + values[i]] = LoadStringText(static_cast<unsigned>(std::atoi(ids[i].c_str())));
}

void ReadTextSetting(const char* section, TextSetting& out) {
    out.NpaName = NpaName(section);
    out.MaxLength = ReadInt(section, "MaxLength", 40);
}

void ReadCheckPair(const char* section, CheckPair& out) {
    std::string name = NpaName(section);
    if (ReadInt(section, "NumValues", 0) != 2) return;
    std::vector<std::string> values = SplitCatalogueList(ReadString(section, "Values", kShortListBufferSize));
    if (values.size() < 2) return;
    out.ClearedKey = name + ":" + values[0];
    out.SetKey = name + ":" + values[1];
}

void ReadRangeSetting(const char* section, RangeSetting& out) {
    out.NpaName = NpaName(section);
    out.MinVal = ReadInt(section, "MinVal", 0);
    out.MaxVal = ReadInt(section, "MaxVal", 120);
}

void ReadSwitchedRange(const char* section, SwitchedRange& out) {
    out.NpaName = NpaName(section);
    out.MinVal = ReadInt(section, "MinVal", 0);
    out.MaxVal = ReadInt(section, "MaxVal", 120);
    out.OffValue = ReadString(section, "Values", kShortListBufferSize);
}

void ReadRadioRange(const char* section, RadioRange& out) {
    out.NpaName = NpaName(section);
    out.MinVal = ReadInt(section, "MinVal", 0);
    out.MaxVal = ReadInt(section, "MaxVal", 120);
    if (ReadInt(section, "NumRadios", 0) == 0) return;
    std::vector<std::string> values = SplitCatalogueList(ReadString(section, "Values", kShortListBufferSize));
    if (values.size() > 0) out.RadioValue1 = values[0];
    if (values.size() > 1) out.RadioValue2 = values[1];
}
