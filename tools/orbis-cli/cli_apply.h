// What apply, restore, export and diff share: the checked apply (a backup first,
// the read-back check after), the reading of a command file as decode reads it,
// and the report of a library result.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// The exit status of a settings exchange's result (0, 1, -1, -2, -3, -10) on `target`,
// with its message on stderr; `file`: the target is a command file.
int ReportResult(int result, const std::string& target, bool file = false);

struct DecodedSetting {
    std::string name, value; // value in code page 949
};
// The settings a command file holds, in file order, as decode reads them; `gaps` the
// byte ranges [from, to) no rule accounts for (each also said on stderr). False, with
// the reason on stderr, when the file cannot be read.
bool DecodeCommandFile(const std::string& path, std::vector<DecodedSetting>& settings,
                       std::vector<std::pair<size_t, size_t>>& gaps);

// The backups' directory: the root's "backups".
std::string BackupDirectory();

// Writes NAME:VALUE items (checked already) to a printer port: the settings are read
// and kept as a backup first, and read back after, each setting not taken named on
// stderr. Returns the exit status (kExitNotTaken when the printer did not take some).
// A port that answers only one way gets neither backup nor check.
int CheckedApply(const std::string& port, const std::vector<std::string>& items);

} // namespace cli
