#include "profile.h"

#include "code_page_text.h"

#include "readback.h"
#include "setting_limits.h"
#include "win32.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

namespace {

// UTF-8 to code page 949; false when it is not UTF-8 or 949 lacks a character.
bool ToCodePage(const std::string& utf8, std::string& ansi) {
    std::vector<WCHAR> wide = WideText(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (wide.empty() && !utf8.empty()) return false;
    BOOL lacking = FALSE;
    ansi = NarrowText(CP_ACP, wide.data(), wide.size(), &lacking);
    return !lacking;
}

std::string ToUtf8(const std::string& ansi) {
    std::vector<WCHAR> wide = WideText(CP_ACP, 0, ansi);
    return NarrowText(CP_UTF8, wide.data(), wide.size(), nullptr);
}

std::string Trim(const std::string& text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(" \t");
    return text.substr(b, e - b + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    return UpperCase(a) == UpperCase(b);
}

ProfileProblemKind KindOf(MisfitKind kind) {
    switch (kind) {
    case MisfitKind::UnknownName:
        return ProfileProblemKind::UnknownName;
    case MisfitKind::BadNumber:
        return ProfileProblemKind::BadNumber;
    case MisfitKind::OutOfRange:
        return ProfileProblemKind::OutOfRange;
    case MisfitKind::TooLong:
        return ProfileProblemKind::TooLong;
    default:
        return ProfileProblemKind::BadValue;
    }
}

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

} // namespace

std::string DescribeProblem(const ProfileProblem& problem) {
    return (problem.Line > 0 ? "line " + std::to_string(problem.Line) : std::string("file")) + ": " +
           problem.Why;
}

bool ParseProfile(const std::string& text, Profile& profile, std::vector<ProfileProblem>& problems) {
    problems.clear();
    if (text.size() > kProfileMaxBytes) {
        problems.push_back(
            {0, ProfileProblemKind::TooBig, "", "",
             "larger than any profile (more than " + std::to_string(kProfileMaxBytes) + " bytes)"});
        return false;
    }
    SettingValueCheck check;
    Profile read;
    read.Model.clear();
    bool sawModel = false;
    enum { None, Header, Settings } section = None;
    std::set<std::string> seen;
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a byte-order mark
    for (int number = 1; start <= text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        bool last = end == text.size();
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto problem = [&](ProfileProblemKind kind, const std::string& name, const std::string& value,
                           const std::string& why) {
            problems.push_back({number, kind, name, value, why});
        };
        bool binary = false;
        for (unsigned char c : line)
            if ((c < 0x20 && c != '\t') || c == 0x7F) binary = true;
        if (binary) {
            problem(ProfileProblemKind::Binary, "", "", "holds control or binary bytes; a profile is text");
            if (last) break;
            continue;
        }
        std::string ansi;
        if (!ToCodePage(line, ansi)) {
            problem(ProfileProblemKind::NotUtf8, "", "",
                    "is not UTF-8 text, or holds a character code page 949 does not have");
            if (last) break;
            continue;
        }
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
            if (last) break;
            continue;
        }
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            std::string name = Trim(trimmed.substr(1, trimmed.size() - 2));
            if (SameText(name, "Profile"))
                section = Header;
            else if (SameText(name, "Settings"))
                section = Settings;
            else {
                section = None;
                problem(ProfileProblemKind::UnknownSection, name, "",
                        "unknown section [" + name + "]; a profile has [Profile] and [Settings]");
            }
            if (last) break;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            problem(ProfileProblemKind::MissingEquals, trimmed, "",
                    "no '=': a setting is written NAME=VALUE");
            if (last) break;
            continue;
        }
        std::string name = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        if (section == Header) {
            if (SameText(name, "Model")) {
                sawModel = true;
                read.Model = value;
                if (!SameText(value, kProfileModel))
                    problem(ProfileProblemKind::WrongModel, name, value,
                            "the profile is for \"" + value + "\", not for the " + kProfileModel);
            } else if (SameText(name, "Catalogue"))
                read.Catalogue = value;
            else if (SameText(name, "Printer"))
                read.Printer = value;
            else if (SameText(name, "Saved"))
                read.Saved = value;
            else
                problem(ProfileProblemKind::UnknownKey, name, value,
                        "unknown key " + name + " in [Profile] (Model, Catalogue, Printer, Saved)");
        } else if (section == Settings) {
            std::string npaName = UpperCase(name);
            std::string ansiValue;
            ToCodePage(value, ansiValue); // the whole line converted, so its parts do
            if (!seen.insert(npaName).second) {
                problem(ProfileProblemKind::Duplicate, name, value, npaName + " is given twice");
            } else {
                Misfit misfit = check.Check(npaName, ansiValue);
                if (misfit.Kind != MisfitKind::None)
                    problem(KindOf(misfit.Kind), name, value, name + "=" + value + ": " + misfit.Why);
                else if (!IsNpaTextSetting(npaName) &&
                         NpaWriteCommands.count(npaName + ":" + UpperCase(ansiValue)))
                    read.Values[npaName] =
                        UpperCase(ansiValue); // the catalogue's spelling, as the pages show it
                else
                    read.Values[npaName] = ansiValue;
            }
        } else {
            problem(ProfileProblemKind::UnknownSection, name, value, "a setting outside [Settings]");
        }
        if (last) break;
    }
    if (!sawModel)
        problems.push_back(
            {0, ProfileProblemKind::NoModel, "", "",
             std::string("no Model line in [Profile]: not a settings profile of the ") + kProfileModel});
    if (!problems.empty()) return false;
    profile = std::move(read);
    return true;
}

bool ReadProfile(const std::string& path, Profile& profile, std::vector<ProfileProblem>& problems) {
    problems.clear();
    FILE* file = WinFopen(path.c_str(), "rb");
    if (!file) {
        problems.push_back(
            {0, ProfileProblemKind::Unreadable, "", "", "cannot open " + path + ": " + std::strerror(errno)});
        return false;
    }
    std::string text;
    char buffer[65536];
    size_t n = 0;
    // Read one byte past the limit at most: a device without end is refused, not read forever.
    while (text.size() <= kProfileMaxBytes && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    bool failed = std::ferror(file) != 0;
    int error = errno;
    std::fclose(file);
    if (failed) {
        problems.push_back(
            {0, ProfileProblemKind::Unreadable, "", "", "cannot read " + path + ": " + std::strerror(error)});
        return false;
    }
    return ParseProfile(text, profile, problems);
}

std::string FormatProfile(const Profile& profile) {
    std::string text = std::string("; ") + kProfileModel + " settings profile\n[Profile]\n";
    text += "Model=" + profile.Model + "\n";
    text += "Catalogue=" + profile.Catalogue + "\n";
    text += "Printer=" + profile.Printer + "\n";
    text += "Saved=" + profile.Saved + "\n\n[Settings]\n";
    for (const auto& [name, value] : profile.Values)
        if (!name.empty()) text += name + "=" + ToUtf8(value) + "\n";
    return text;
}

bool WriteProfile(const std::string& path, const Profile& profile, std::string& error) {
    std::string text = FormatProfile(profile);
    size_t slash = path.find_last_of("\\/");
    std::string dir = slash == std::string::npos ? "."
                      : slash == 0               ? path.substr(0, 1)
                                                 : path.substr(0, slash);
    char temp[MAX_PATH];
    if (GetTempFileNameA(dir.c_str(), "prf", 0, temp) == 0) {
        error = "cannot create a file in " + dir;
        return false;
    }
    FILE* file = WinFopen(temp, "wb");
    bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int saved = errno;
    if (file && std::fclose(file) != 0) written = false;
    if (written && MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    error = "cannot write " + path + (written ? std::string() : std::string(": ") + std::strerror(saved));
    DeleteFileA(temp);
    return false;
}

Profile MakeProfile(const std::string& port, const StringMap& values, std::vector<std::string>* leftOut) {
    SettingValueCheck check;
    Profile profile;
    profile.Catalogue = CatalogueFile();
    profile.Printer = port;
    profile.Saved = UtcNow();
    for (const auto& [name, value] : values) {
        if (name.empty()) continue; // a reply item of no known identifier
        if (check.Check(name, value).Kind == MisfitKind::None)
            profile.Values[name] = value;
        else if (leftOut)
            leftOut->push_back(name);
    }
    return profile;
}

std::vector<SettingDifference> DiffSettings(const StringMap& a, const StringMap& b) {
    std::vector<SettingDifference> diff;
    auto ia = a.begin();
    auto ib = b.begin();
    while (ia != a.end() || ib != b.end()) {
        if (ib == b.end() || (ia != a.end() && ia->first < ib->first)) {
            diff.push_back({ia->first, ia->second, "", true, false});
            ++ia;
        } else if (ia == a.end() || ib->first < ia->first) {
            diff.push_back({ib->first, "", ib->second, false, true});
            ++ib;
        } else {
            if (!SameSettingValue(ia->first, ia->second, ib->second))
                diff.push_back({ia->first, ia->second, ib->second, true, true});
            ++ia;
            ++ib;
        }
    }
    return diff;
}
