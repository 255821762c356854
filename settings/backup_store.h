// Backups taken before every apply: the settings as read from the printer just
// before the first write, kept as profiles (profile.h) in a directory of the
// root's private state, one file per printer and time; the newest 20 of each
// printer are kept. Both programs use the directory orbis::platform::Root() + "/backups".
#pragma once

#include "profile.h"

#include <string>
#include <vector>

struct BackupEntry {
    std::string Id;    // the file name, e.g. "USB001-20261206T070000123Z.profile"
    std::string Path;  // host path of the file
    std::string Port;  // the printer's port as the file name holds it (characters other than letters, digits,
                       // - and _ as _)
    std::string Saved; // UTC time, ISO 8601
};

class BackupStore {
  public:
    static constexpr size_t kKept = 20;

    // `directory`: a host path; created (mode 0700) on the first Save.
    explicit BackupStore(std::string directory);
    const std::string& Directory() const { return Directory_; }

    // Saves `values` as the newest backup of `port` and removes that port's oldest
    // beyond kKept. False with `error` (English) when the file could not be written.
    bool Save(const std::string& port, const StringMap& values, std::string& error,
              BackupEntry* saved = nullptr);

    // The backups of `port`, newest first ("" lists every port's).
    std::vector<BackupEntry> List(const std::string& port) const;

    // Reads a backup: `id` as listed, or "" for the newest of `port`. False with the
    // problems (a missing backup is one problem, Line 0).
    bool Load(const std::string& port, const std::string& id, Profile& profile,
              std::vector<ProfileProblem>& problems) const;

  private:
    std::string Directory_;
};

// Query `port` and save what it holds as a backup. Returns the query's result
// (0 saved; 1 write-only: nothing to save, nothing saved; -1/-2 the query failed),
// or kBackupFailed when the file could not be written (`error` says why).
inline constexpr int kBackupFailed = -13;
int BackupBeforeWrite(BackupStore& store, const char* port, std::string& error);
