// check: for catalogue authors. Lists, by section and line, what the program
// would ignore or misread in a catalogue: lines lost to the section buffer, read
// lines past what one query holds, malformed hex, templates of lengths the write
// rules do not know, values with no write line, missing sections.
#include "catalogue_location.h"
#include "cli.h"
#include "cli_exit.h"
#include "descriptors.h"
#include "npa_catalogue.h"
#include "setting_keys.h"
#include "win32.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSectionBuffer = 32767; // what the program reads a whole section into
constexpr size_t kQueryHolds = 125;     // settings one batched query can ask for
constexpr size_t kTreeNames = 10;       // names the tree takes from one "Children" list

struct RawLine {
    int number;
    std::string text; // trimmed, as the profile calls give it
};

struct RawSection {
    std::string name;
    int line = 0;
    std::vector<RawLine> lines;
};

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\v\f");
    if (begin == std::string::npos) return std::string();
    return text.substr(begin, text.find_last_not_of(" \t\v\f") - begin + 1);
}

// The file as the profile calls see it: sections and their lines, with line numbers.
std::vector<RawSection> ParseRaw(const std::string& content) {
    std::vector<RawSection> sections;
    int number = 0;
    for (size_t pos = 0; pos < content.size();) {
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = content.size();
        std::string line = Trim(content.substr(pos, end - pos));
        pos = end + (end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n' ? 2 : 1);
        ++number;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            sections.push_back(
                {Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)),
                 number,
                 {}});
        } else if (!sections.empty()) {
            sections.back().lines.push_back({number, line});
        }
    }
    return sections;
}

class Checker {
  public:
    Checker(const std::string& path, std::vector<RawSection> sections)
        : path_(path), sections_(std::move(sections)) {}

    int Run() {
        Duplicates();
        for (const char* name : {"DriverNames", "NPA READ SETTING", "NPA WRITE VALUES"})
            Buffer(name);
        ReadLines();
        WriteLines();
        SettingSections();
        Tree();
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [line, text] : findings_)
            std::printf("%s:%d: %s\n", path_.c_str(), line, text.c_str());
        if (findings_.empty()) {
            std::printf("%s: nothing the program would ignore or misread\n", path_.c_str());
            return cli::kExitOk;
        }
        std::fprintf(stderr, "orbis-cli: %zu finding(s) in %s\n", findings_.size(), path_.c_str());
        return cli::kExitFindings;
    }

  private:
    void Add(int line, const std::string& section, const std::string& text) {
        findings_.emplace_back(line, "[" + section + "] " + text);
    }

    // The first section of that name, as the profile calls find it; null when none.
    const RawSection* Find(const std::string& name) const {
        for (const RawSection& s : sections_)
            if (Upper(s.name) == Upper(name)) return &s;
        return nullptr;
    }

    // The line of `key` in section `s`, else the section's own line.
    int KeyLine(const RawSection* s, const std::string& key) const {
        if (!s) return 0;
        for (const RawLine& l : s->lines) {
            size_t eq = l.text.find('=');
            if (eq != std::string::npos && Upper(Trim(l.text.substr(0, eq))) == Upper(key)) return l.number;
        }
        return s->line;
    }

    void Duplicates() {
        std::map<std::string, int> first;
        for (const RawSection& s : sections_) {
            auto [it, fresh] = first.emplace(Upper(s.name), s.line);
            if (!fresh)
                Add(s.line, s.name,
                    "appears again: only the first (line " + std::to_string(it->second) + ") is read");
        }
    }

    // A section read whole must fit the buffer; past it a line is cut and the rest is lost.
    void Buffer(const char* name) {
        const RawSection* s = Find(name);
        if (!s) return;
        std::vector<char> buffer(kSectionBuffer, '\0');
        DWORD count = GetPrivateProfileSectionA(name, buffer.data(), kSectionBuffer, path_.c_str());
        std::vector<std::string> got;
        for (const char* p = buffer.data(); p < buffer.data() + count && *p; p += got.back().size() + 1)
            got.emplace_back(p);
        for (size_t i = 0; i < s->lines.size(); ++i) {
            if (i < got.size() && got[i] == s->lines[i].text) continue;
            size_t lost = s->lines.size() - i - (i < got.size() ? 1 : 0);
            Add(s->lines[i].number, s->name,
                "the section passes the " + std::to_string(kSectionBuffer) + "-byte buffer in this line (" +
                    std::to_string(s->lines[i].text.size()) +
                    " bytes): " + (i < got.size() ? "it is cut and " : "it and ") + std::to_string(lost) +
                    " line(s) after it are lost");
            lost_[Upper(name)] = i;
            return;
        }
    }

    // Lines of a whole section that the program gets to see.
    std::vector<RawLine> Seen(const char* name) const {
        const RawSection* s = Find(name);
        if (!s) return {};
        auto it = lost_.find(Upper(name));
        size_t n = it == lost_.end() ? s->lines.size() : it->second;
        return std::vector<RawLine>(s->lines.begin(), s->lines.begin() + n);
    }

    // Odd digit counts and non-hex digits; the program reads them anyway, differently.
    void Hex(const RawLine& l, const char* section, const std::string& hex) {
        size_t bad = hex.find_first_not_of("0123456789ABCDEFabcdef");
        if (bad != std::string::npos)
            Add(l.number, section,
                "'" + std::string(1, hex[bad]) + "' at digit " + std::to_string(bad + 1) +
                    " is not a hex digit (its byte is misread)");
        if (hex.size() % 2)
            Add(l.number, section,
                "odd number of hex digits (" + std::to_string(hex.size()) + "): the last is dropped");
    }

    void ReadLines() {
        const char* section = "NPA READ SETTING";
        std::map<std::string, int> names;
        for (const RawLine& l : Seen(section)) {
            size_t eq = l.text.find('=');
            if (eq == std::string::npos) {
                Add(l.number, section, "not NAME=HEX: ignored");
                continue;
            }
            std::string name = Upper(l.text.substr(0, eq)), hex = l.text.substr(eq + 1);
            if (name != Trim(name) || hex != Trim(hex))
                Add(l.number, section, "blanks around '=' become part of the name or the hex");
            Hex(l, section, hex);
            if (hex.size() / 2 < 9) {
                Add(l.number, section,
                    std::to_string(hex.size() / 2) +
                        " byte(s): a read command needs 9 (the identifier is bytes 7 and 8): never read");
                continue;
            }
            auto [it, fresh] = names.emplace(name, l.number);
            if (!fresh) {
                Add(l.number, section, name + " again: replaces line " + std::to_string(it->second));
                it->second = l.number;
            }
            readIds_[name] = Upper(hex.substr(14, 4));
        }
        // The query asks for the names in sorted order and stops at what it holds.
        size_t n = 0;
        for (const auto& [name, line] : names)
            if (++n > kQueryHolds)
                Add(line, section,
                    name + ": one query holds " + std::to_string(kQueryHolds) +
                        " settings and this one sorts after them: never read");
    }

    void WriteLines() {
        const char* section = "NPA WRITE VALUES";
        std::set<std::string> templates, unread;
        for (const RawLine& l : Seen(section)) {
            std::string line = Upper(l.text);
            if (!line.empty() && line[0] == '*') line.erase(0, 1);
            size_t eq = line.find('=');
            if (eq == std::string::npos) {
                Add(l.number, section, "not KEY=HEX: ignored");
                continue;
            }
            std::string key = line.substr(0, eq), hex = l.text.substr(l.text.find('=') + 1);
            size_t colon = key.find(':');
            std::string name = key.substr(0, colon);
            std::string value = colon == std::string::npos ? std::string() : key.substr(colon + 1);
            if (colon == std::string::npos)
                Add(l.number, section, "KEY has no ':': " + name + " is taken for a text setting's template");
            if (key != Trim(key) || hex != Trim(hex))
                Add(l.number, section, "blanks around '=' become part of the key or the hex");
            Hex(l, section, hex);
            size_t bytes = hex.size() / 2;
            if (bytes < 9) {
                Add(l.number, section,
                    std::to_string(bytes) + " byte(s): shorter than the 9-byte command header");
                continue;
            }
            bool text = value.empty(), range = value.find("..") != std::string::npos;
            if (range && bytes != 10 && bytes != 13)
                Add(l.number, section,
                    "numeric template of " + std::to_string(bytes) +
                        " bytes: the write rules know 10 (one data byte) and 13 (four)");
            if (!text && !range && templates.count(name))
                Add(l.number, section,
                    key + " follows " + name + "'s template: it is registered under " + name +
                        " alone and replaces the template");
            if (text || range) templates.insert(name);
            auto id = readIds_.find(name);
            std::string writeId = Upper(hex.substr(14, 4));
            if (id == readIds_.end()) {
                if (unread.insert(name).second)
                    Add(l.number, section,
                        name + " has no \"NPA READ SETTING\" line: never read from the printer");
            } else if (id->second != writeId) {
                Add(l.number, section,
                    "identifier " + writeId + " differs from the read line's " + id->second);
            }
        }
    }

    void Written(const RawSection* s, const char* key, const std::string& item) {
        if (item.empty() || NpaWriteCommands.count(item)) return;
        Add(KeyLine(s, key), s->name, "value " + item + " has no write line");
    }

    void Numeric(const RawSection* s, const std::string& name, int min, int max) {
        auto templ = NpaWriteCommands.find(name);
        if (!IsNpaRangeSetting(name) || templ == NpaWriteCommands.end()) {
            Add(KeyLine(s, "NpaName"), s->name,
                name + " has no numeric template (" + name + ":LOW..HIGH=...)");
            return;
        }
        // A page range past the template's one data byte would be written modulo 256.
        if (templ->second.Bytes.size() == 10 && (min < 0 || max > 255))
            Add(KeyLine(s, max > 255 ? "MaxVal" : "MinVal"), s->name,
                "range " + std::to_string(min) + " to " + std::to_string(max) +
                    " does not fit the one data byte of " + name + "'s 10-byte template (0 to 255)");
    }

    void Setting(DescriptorKind kind, const char* key) {
        const RawSection* s = Find(key);
        if (!s) {
            Add(0, key, "does not exist: its page shows nothing for this setting");
            return;
        }
        char buffer[70] = "";
        GetPrivateProfileStringA(key, "NpaName", "", buffer, sizeof buffer, CatalogueFile());
        std::string name = buffer;
        if (name.empty() && kind != DescriptorKind::CheckPair) {
            Add(s->line, key, "has no NpaName");
            return;
        }
        if (!name.empty() && name != Upper(name)) {
            Add(KeyLine(s, "NpaName"), key, "NpaName " + name + " is not upper case: it finds no value");
            return;
        }
        if (!name.empty() && !NpaReadCommands.count(name))
            Add(KeyLine(s, "NpaName"), key, name + " is never read from the printer (no read line)");
        switch (kind) {
        case DescriptorKind::ValueList: {
            ValueList values;
            ReadValueList(key, values);
            int promised = GetPrivateProfileIntA(key, "NumValues", 0, CatalogueFile());
            if (static_cast<int>(values.size()) < promised)
                Add(KeyLine(s, "NumValues"), key,
                    "NumValues is " + std::to_string(promised) + " but only " +
                        std::to_string(values.size()) +
                        " value(s) are read (Values and ValueIds, at most 15)");
            for (const auto& [item, text] : values)
                Written(s, "Values", item);
            break;
        }
        case DescriptorKind::CheckPair: {
            CheckPair pair;
            ReadCheckPair(key, pair);
            if (pair.SetKey.empty())
                Add(KeyLine(s, "NumValues"), key, "not two values: the check box writes nothing");
            Written(s, "Values", pair.ClearedKey);
            Written(s, "Values", pair.SetKey);
            break;
        }
        case DescriptorKind::TextSetting:
            if (!IsNpaTextSetting(name) || !NpaWriteCommands.count(name))
                Add(KeyLine(s, "NpaName"), key, name + " has no text template (" + name + ":=...)");
            break;
        case DescriptorKind::RangeSetting: {
            RangeSetting r;
            ReadRangeSetting(key, r);
            Numeric(s, name, r.MinVal, r.MaxVal);
            break;
        }
        case DescriptorKind::SwitchedRange: {
            SwitchedRange r;
            ReadSwitchedRange(key, r);
            Numeric(s, name, r.MinVal, r.MaxVal);
            Written(s, "Values", r.OffValue.empty() ? "" : name + ":" + r.OffValue);
            break;
        }
        case DescriptorKind::RadioRange: {
            RadioRange r;
            ReadRadioRange(key, r);
            Numeric(s, name, r.MinVal, r.MaxVal);
            Written(s, "Values", r.RadioValue1.empty() ? "" : name + ":" + r.RadioValue1);
            Written(s, "Values", r.RadioValue2.empty() ? "" : name + ":" + r.RadioValue2);
            break;
        }
        }
    }

    void SettingSections() {
        LoadNpaCatalogue();
#define ORBIS_CHECK_SETTING(kind, key) Setting(DescriptorKind::kind, #key);
        ORBIS_SETTING_KEYS(ORBIS_CHECK_SETTING)
#undef ORBIS_CHECK_SETTING
    }

    // The names a tree section lists, as the tree takes them: split at commas, at most 10, at most
    // NumChildren.
    void Children(const std::string& parent, int depth) {
        const RawSection* s = Find(parent);
        char buffer[255] = "";
        GetPrivateProfileStringA(parent.c_str(), "Children", "", buffer, sizeof buffer, CatalogueFile());
        std::vector<std::string> names = SplitCatalogueList(buffer);
        UINT count = GetPrivateProfileIntA(parent.c_str(), "NumChildren", 0, CatalogueFile());
        size_t shown = std::min<size_t>({names.size(), kTreeNames, count});
        if (names.size() > shown)
            Add(KeyLine(s, "Children"), parent,
                std::to_string(names.size() - shown) + " of its children are not shown (NumChildren " +
                    std::to_string(count) + ", at most " + std::to_string(kTreeNames) + ")");
        for (size_t i = 0; i < shown; ++i) {
            if (!Find(names[i])) {
                Add(KeyLine(s, "Children"), parent, "names " + names[i] + ", a section that does not exist");
                continue;
            }
            if (depth == 0) Children(names[i], 1);
        }
    }

    void Tree() {
        if (!Find("TreeRoot")) {
            Add(0, "TreeRoot", "does not exist: the tree of pages is empty");
            return;
        }
        Children("TreeRoot", 0);
    }

    std::string path_;
    std::vector<RawSection> sections_;
    std::vector<std::pair<int, std::string>> findings_;
    std::map<std::string, size_t> lost_;         // section (upper case) -> index of its first lost line
    std::map<std::string, std::string> readIds_; // NPA name -> identifier digits of its read line
};

int RunCheck(const std::vector<std::string>& args) {
    if (args.size() > 1) {
        std::fprintf(stderr, "orbis-cli: usage: orbis-cli check [CATALOGUE]\n");
        return cli::kExitUsage;
    }
    std::string path = args.empty() ? std::string(CatalogueFile()) : args[0];
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "orbis-cli: cannot read the catalogue %s\n", path.c_str());
        return cli::kExitFile;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    UseCatalogueFile(path);
    return Checker(path, ParseRaw(content)).Run();
}

} // namespace

ORBIS_CLI_COMMAND(check, "check", "[CATALOGUE]  list what the program would ignore or misread in a catalogue",
                  RunCheck);
