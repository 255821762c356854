// REGEDIT4 text form of the registry and the key tree in memory.
#include "hive.h"

#include "paths.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <unordered_map>

namespace orbis::platform {
namespace {

const char* const kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
constexpr char kDaclPrefix[] = ";@dacl=";

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads a quoted string at text[*pos]; leaves *pos after the closing quote.
bool Unquote(const std::string& text, size_t* pos, std::string* out) {
    if (*pos >= text.size() || text[*pos] != '"') return false;
    out->clear();
    for (size_t i = *pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            *out += text[++i];
        } else if (c == '"') {
            *pos = i + 1;
            return true;
        } else {
            *out += c;
        }
    }
    return false;
}

bool ParseHex(const std::string& text, std::vector<BYTE>* out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        if (i >= text.size()) break;
        size_t start = i;
        while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])))
            ++i;
        if (i - start == 0 || i - start > 2) return false;
        out->push_back(static_cast<BYTE>(std::stoul(text.substr(start, i - start), nullptr, 16)));
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        if (i < text.size()) {
            if (text[i] != ',') return false;
            ++i;
        }
    }
    return true;
}

bool ParseValue(const std::string& line, RegValue* value) {
    size_t pos = 0;
    if (line[0] == '@') {
        value->name.clear();
        pos = 1;
    } else if (!Unquote(line, &pos, &value->name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    std::string rest = line.substr(pos + 1);
    if (!rest.empty() && rest[0] == '"') {
        size_t at = 0;
        std::string text;
        if (!Unquote(rest, &at, &text) || rest.find_first_not_of(" \t", at) != std::string::npos)
            return false;
        value->type = REG_SZ;
        value->data.assign(text.begin(), text.end());
        value->data.push_back(0);
        return true;
    }
    if (rest.rfind("dword:", 0) == 0) {
        std::string digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        for (char c : digits)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        DWORD number = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
        value->type = REG_DWORD;
        value->data.resize(4);
        for (int i = 0; i < 4; ++i)
            value->data[i] = static_cast<BYTE>(number >> (8 * i));
        return true;
    }
    if (rest.rfind("hex:", 0) == 0) {
        value->type = REG_BINARY;
        return ParseHex(rest.substr(4), &value->data);
    }
    if (rest.rfind("hex(", 0) == 0) {
        size_t close = rest.find("):");
        if (close == std::string::npos || close == 4) return false;
        std::string type = rest.substr(4, close - 4);
        for (char c : type)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        value->type = static_cast<DWORD>(std::stoul(type, nullptr, 16));
        return ParseHex(rest.substr(close + 2), &value->data);
    }
    return false;
}

std::string FormatValue(const RegValue& value) {
    std::string out = value.name.empty() ? "@" : Quote(value.name);
    out += "=";
    const auto& d = value.data;
    bool plainText = value.type == REG_SZ && !d.empty() && d.back() == 0;
    for (size_t i = 0; plainText && i + 1 < d.size(); ++i)
        if (d[i] == 0 || d[i] == '\n' || d[i] == '\r') plainText = false;
    if (plainText) return out + Quote(std::string(d.begin(), d.end() - 1));
    if (value.type == REG_DWORD && d.size() == 4) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x",
                      static_cast<unsigned>(d[0] | d[1] << 8 | d[2] << 16 | static_cast<DWORD>(d[3]) << 24));
        return out + digits;
    }
    char head[32];
    if (value.type == REG_BINARY)
        std::snprintf(head, sizeof head, "hex:");
    else
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(value.type));
    out += head;
    for (size_t i = 0; i < d.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", d[i]);
        if (i) out += ",";
        out += byte;
    }
    return out;
}

std::string Parent(const std::string& path) {
    auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

} // namespace

RegValue* RegKey::FindValue(const std::string& name) {
    std::string upper = UpperAscii(name);
    for (auto& value : values)
        if (UpperAscii(value.name) == upper) return &value;
    return nullptr;
}

bool Hive::IsRootName(const std::string& upperName) {
    for (const char* root : kRoots)
        if (upperName == root) return true;
    return false;
}

RegKey* Hive::Find(const std::string& path) {
    std::string upper = UpperAscii(path);
    auto it = keys_.find(upper);
    if (it != keys_.end()) return &it->second;
    if (IsRootName(upper)) {
        bool created;
        return &Create(upper, &created);
    }
    return nullptr;
}

RegKey& Hive::Create(const std::string& path, bool* created) {
    std::string upper = UpperAscii(path);
    auto it = keys_.find(upper);
    if (it != keys_.end()) {
        *created = false;
        return it->second;
    }
    std::string parent = Parent(path);
    if (!parent.empty()) {
        bool parentCreated;
        Create(parent, &parentCreated);
    }
    *created = true;
    RegKey& key = keys_[upper];
    key.path = path;
    return key;
}

std::vector<std::string> Hive::Subkeys(const std::string& path) const {
    std::string prefix = UpperAscii(path) + "\\";
    std::vector<std::string> names;
    for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.rfind(prefix, 0) == 0; ++it) {
        if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
        names.push_back(it->second.path.substr(prefix.size()));
    }
    return names;
}

void Hive::Erase(const std::string& path) {
    keys_.erase(UpperAscii(path));
}

bool Hive::Parse(const std::string& text, Hive* hive) {
    std::vector<std::string> lines;
    {
        std::string line;
        std::istringstream in(text);
        std::string pending;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!pending.empty()) {
                size_t first = line.find_first_not_of(" \t");
                line = pending + (first == std::string::npos ? "" : line.substr(first));
                pending.clear();
            }
            // Long hex values may be continued on the next line with a trailing backslash.
            if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
                pending = line.substr(0, line.size() - 1);
                continue;
            }
            lines.push_back(line);
        }
        if (!pending.empty()) return false;
    }
    size_t i = 0;
    if (lines.size() > 0 && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
    while (i < lines.size() && lines[i].find_first_not_of(" \t") == std::string::npos)
        ++i;
    if (i == lines.size()) return true; // an empty file is an empty registry
    if (lines[i] != "REGEDIT4") return false;
    RegKey* key = nullptr;
    std::unordered_map<std::string, size_t> index; // value names of the current section
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (line.rfind(kDaclPrefix, 0) == 0) {
            if (!key) return false;
            key->dacl = line.substr(sizeof kDaclPrefix - 1);
            continue;
        }
        if (line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') return false;
            std::string path = line.substr(1, line.size() - 2);
            std::string upper = UpperAscii(path);
            std::string root = upper.substr(0, upper.find('\\'));
            if (!IsRootName(root) || path.back() == '\\' || path.find("\\\\") != std::string::npos)
                return false;
            bool created;
            key = &hive->Create(path, &created);
            index.clear();
            for (size_t v = 0; v < key->values.size(); ++v)
                index[UpperAscii(key->values[v].name)] = v;
            continue;
        }
        RegValue value;
        if (!key || !ParseValue(line, &value)) return false;
        // A later line for the same name wins, as when importing a .reg file.
        auto [slot, fresh] = index.emplace(UpperAscii(value.name), key->values.size());
        if (fresh)
            key->values.push_back(std::move(value));
        else
            key->values[slot->second] = std::move(value);
    }
    return true;
}

std::string Hive::Serialize() const {
    std::string out = "REGEDIT4\n";
    for (const auto& [upper, key] : keys_) {
        if (IsRootName(upper) && key.values.empty() && key.dacl.empty()) continue;
        out += "\n[" + key.path + "]\n";
        if (!key.dacl.empty()) out += kDaclPrefix + key.dacl + "\n";
        for (const auto& value : key.values)
            out += FormatValue(value) + "\n";
    }
    return out;
}

} // namespace orbis::platform
