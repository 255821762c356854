// Settings profiles: a configuration as a readable UTF-8 text file, to carry it
// to another printer, keep it, or compare it. The layout:
//
//   ; Orbis LP 2200 settings profile
//   [Profile]
//   Model=Orbis LP 2200
//   Catalogue=/usr/share/orbis-lp2200/quillon.ini
//   Printer=USB001
//   Saved=2026-12-06T07:00:00Z
//
//   [Settings]
//   BLANKPGS=OFF
//   CUST1NAME=봉투
//
// Lines starting with ';' or '#' and blank lines are comments. Values are held
// in memory in code page 949, as the rest of the settings model holds them.
#pragma once

#include "npa_catalogue.h"

#include <cstddef>
#include <string>
#include <vector>

inline constexpr const char* kProfileModel = "Orbis LP 2200";
// A profile is a few kilobytes; anything past this is not one.
inline constexpr size_t kProfileMaxBytes = 1024 * 1024;

struct Profile {
    std::string Model = kProfileModel;
    std::string Catalogue; // the catalogue file the values were read with
    std::string Printer;   // the port they were read from ("" when unknown)
    std::string Saved;     // UTC time, ISO 8601
    StringMap Values;      // NPA name (upper case) -> value text in code page 949
};

enum class ProfileProblemKind {
    Unreadable,    // the file cannot be opened or read (Line 0)
    TooBig,        // over kProfileMaxBytes (Line 0)
    Binary,        // a NUL or other control byte on the line
    NotUtf8,       // the line is not UTF-8, or holds a character code page 949 lacks
    MissingEquals, // a line that is neither a section, a comment nor NAME=VALUE
    UnknownSection,
    UnknownKey,  // a key of [Profile] other than Model, Catalogue, Printer, Saved
    NoModel,     // no Model line in the header (Line 0)
    WrongModel,  // Model names another printer
    Duplicate,   // a setting given twice
    UnknownName, // the catalogue has no such setting
    BadValue,    // not one of the setting's value names
    BadNumber,   // not a decimal number
    OutOfRange,  // a number outside the setting's range
    TooLong,     // a text longer than the setting holds
};

struct ProfileProblem {
    int Line = 0; // 1-based; 0 for the file as a whole
    ProfileProblemKind Kind = ProfileProblemKind::Unreadable;
    std::string Name;  // the setting or key named on the line, as written (UTF-8)
    std::string Value; // the value as written (UTF-8)
    std::string Why;   // English detail
};

// "line N: why" (or "file: why" for Line 0), English, for the console.
std::string DescribeProblem(const ProfileProblem& problem);

// Parses profile text. Every line is checked against the catalogue; on any
// problem `profile` is left untouched and false returned with every problem listed.
bool ParseProfile(const std::string& text, Profile& profile, std::vector<ProfileProblem>& problems);
// Reads a file (host path) and parses it; a file over kProfileMaxBytes is refused unread.
bool ReadProfile(const std::string& path, Profile& profile, std::vector<ProfileProblem>& problems);

// The text of a profile, settings in name order.
std::string FormatProfile(const Profile& profile);
// Writes it beside `path` and renames it over, so a failure leaves the old file whole.
// False with `error` (English) when that failed.
bool WriteProfile(const std::string& path, const Profile& profile, std::string& error);

// A profile of `values` as read now from `port`, with the catalogue in use and the time.
// Values the catalogue could not write back (an empty or unknown reply) are left out,
// so the profile reads without problems; `leftOut` (if given) gets their names.
Profile MakeProfile(const std::string& port, const StringMap& values,
                    std::vector<std::string>* leftOut = nullptr);

// Settings whose values differ between two sets (a missing entry counts as a
// difference; values compare as the read-back check compares them).
struct SettingDifference {
    std::string Name;
    std::string A, B; // code page 949
    bool InA = true, InB = true;
};
std::vector<SettingDifference> DiffSettings(const StringMap& a, const StringMap& b);
