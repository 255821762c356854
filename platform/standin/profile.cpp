// The profile (INI) calls. A file is parsed once and reused while it is
// unchanged: building the document asks hundreds of keys of the catalogue.
#include "../orbis_platform.h"
#include "file_stamp.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

struct ProfileEntry {
    std::string line;  // the whole line, trimmed
    std::string key;   // trimmed text before "=", upper case; empty when the line has no "="
    std::string value; // trimmed text after "="
    bool hasEquals = false;
};

struct ProfileSection {
    std::string name; // as written, trimmed
    std::vector<ProfileEntry> entries;
    std::unordered_map<std::string, size_t> firstKey; // upper-case key -> first entry with it
};

struct ProfileFile {
    std::vector<ProfileSection> sections;
    std::unordered_map<std::string, size_t> firstSection; // upper-case name -> first section with it
};

using orbis::platform::FileStamp;

struct CacheEntry {
    FileStamp stamp;
    std::string content;
    std::shared_ptr<const ProfileFile> file;
    // A file's time stamp moves in clock ticks, so a rewrite within the same tick can
    // keep size, time and inode. Until the stamp is older than any tick, the content
    // itself is compared.
    bool settled = false;
};

bool ReadWhole(const std::string& path, std::string& content) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    content.clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        content.append(chunk, n);
    std::fclose(f);
    return true;
}

std::mutex CacheMutex;
std::map<std::string, CacheEntry> Cache;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::shared_ptr<const ProfileFile> Parse(const std::string& content) {
    auto file = std::make_shared<ProfileFile>();
    ProfileSection* current = nullptr;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = content.size();
        std::string line = Trim(content.substr(pos, end - pos));
        // CR, LF and CRLF all end one line.
        pos = end + (end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n' ? 2 : 1);

        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            ProfileSection section;
            section.name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            file->firstSection.emplace(Upper(section.name), file->sections.size());
            file->sections.push_back(std::move(section));
            current = &file->sections.back();
            continue;
        }
        if (!current) continue; // lines before the first section belong to none
        ProfileEntry entry;
        entry.line = line;
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            entry.hasEquals = true;
            entry.key = Upper(Trim(line.substr(0, eq)));
            entry.value = Trim(line.substr(eq + 1));
            current->firstKey.emplace(entry.key, current->entries.size());
        }
        current->entries.push_back(std::move(entry));
    }
    return file;
}

// The parsed file, or nullptr when it does not exist. A rewrite (new size, time or
// inode) or a deletion is noticed at the next call.
std::shared_ptr<const ProfileFile> Load(const char* fileName) {
    if (!fileName || !*fileName) return nullptr;
    std::string path = orbis::platform::MapPath(fileName);
    struct stat st;
    std::lock_guard lock(CacheMutex);
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Cache.erase(path);
        return nullptr;
    }
    const FileStamp stamp = orbis::platform::StampOf(st);
    auto found = Cache.find(path);
    if (found != Cache.end() && found->second.stamp == stamp && found->second.settled)
        return found->second.file;

    std::string content;
    if (!ReadWhole(path, content)) {
        Cache.erase(path);
        return nullptr;
    }
    bool settled = orbis::platform::StampSettled(stamp);
    if (found != Cache.end() && found->second.content == content) {
        found->second.stamp = stamp;
        found->second.settled = settled;
        return found->second.file;
    }
    auto file = Parse(content);
    Cache[path] = CacheEntry{stamp, std::move(content), file, settled};
    return file;
}

const ProfileSection* FindSection(const ProfileFile* file, const char* name) {
    if (!file || !name) return nullptr;
    auto it = file->firstSection.find(Upper(Trim(name)));
    return it == file->firstSection.end() ? nullptr : &file->sections[it->second];
}

// Copies a NUL-separated list (each item followed by a NUL, the whole by a second
// NUL). A list that does not fit is cut, keeps its double NUL and returns size-2.
DWORD CopyList(const std::vector<const std::string*>& items, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::string all;
    for (const std::string* item : items) {
        all += *item;
        all += '\0';
    }
    if (all.empty()) {
        buffer[0] = buffer[1] = '\0';
        return 0;
    }
    if (all.size() + 1 <= size) {
        std::memcpy(buffer, all.data(), all.size());
        buffer[all.size()] = '\0';
        return static_cast<DWORD>(all.size());
    }
    std::memcpy(buffer, all.data(), size - 2);
    buffer[size - 2] = buffer[size - 1] = '\0';
    return size - 2;
}

DWORD CopyString(const std::string& text, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    DWORD n = static_cast<DWORD>(text.size() < size - 1 ? text.size() : size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

// The value of a key, with quotes removed; false when the file, section or key is missing.
bool LookUp(const char* section, const char* key, const char* fileName, std::string& value) {
    if (!section || !*section || !key || !*key) return false;
    auto file = Load(fileName);
    const ProfileSection* s = FindSection(file.get(), section);
    if (!s) return false;
    auto it = s->firstKey.find(Upper(Trim(key)));
    if (it == s->firstKey.end()) return false;
    value = Unquote(s->entries[it->second].value);
    return true;
}

} // namespace

DWORD GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    auto file = Load(lpFileName);
    const ProfileSection* s = lpAppName && *lpAppName ? FindSection(file.get(), lpAppName) : nullptr;
    std::vector<const std::string*> lines;
    if (s)
        for (const ProfileEntry& entry : s->entries)
            lines.push_back(&entry.line);
    return CopyList(lines, lpReturnedString, nSize);
}

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    const char* fallback = lpDefault ? lpDefault : "";
    if (!lpAppName) {
        auto file = Load(lpFileName);
        std::vector<const std::string*> names;
        if (file)
            for (const ProfileSection& s : file->sections)
                names.push_back(&s.name);
        return CopyList(names, lpReturnedString, nSize);
    }
    if (!lpKeyName) {
        auto file = Load(lpFileName);
        const ProfileSection* s = *lpAppName ? FindSection(file.get(), lpAppName) : nullptr;
        if (!s) return CopyString(fallback, lpReturnedString, nSize);
        // The keys as written (trimmed), lines without "=" left out.
        std::vector<std::string> keys;
        for (const ProfileEntry& entry : s->entries)
            if (entry.hasEquals && !entry.key.empty())
                keys.push_back(Trim(entry.line.substr(0, entry.line.find('='))));
        std::vector<const std::string*> items;
        for (const std::string& k : keys)
            items.push_back(&k);
        return CopyList(items, lpReturnedString, nSize);
    }
    std::string value;
    if (!LookUp(lpAppName, lpKeyName, lpFileName, value)) value = fallback;
    return CopyString(value, lpReturnedString, nSize);
}

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    std::string value;
    if (!LookUp(lpAppName, lpKeyName, lpFileName, value) || value.empty()) return static_cast<UINT>(nDefault);
    size_t i = 0;
    bool negative = false;
    if (value[i] == '+' || value[i] == '-') negative = value[i++] == '-';
    uint32_t result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        result = result * 10u + static_cast<uint32_t>(value[i] - '0');
    return negative ? 0u - result : result;
}
