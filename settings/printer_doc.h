// The single document: the current value of every setting as text, the
// descriptors that tell the pages how to present them, and the way changes
// reach the printer (apply) or a command file (save).
#pragma once

#include "backup_store.h"
#include "descriptors.h"
#include "profile.h"
#include "readback.h"
#include "setting_keys.h"
#include "window_host.h"

#include <cstdint>
#include <string>
#include <vector>

// One descriptor of the document, found by its setting key.
struct DescriptorRef {
    const char* Key;
    DescriptorKind Kind;
    void* Descriptor; // points at the member of that kind
};

class CPrinterDoc {
  public:
    explicit CPrinterDoc(IWindowHost* host = nullptr);
    virtual ~CPrinterDoc() = default;
    CPrinterDoc(const CPrinterDoc&) = delete;
    CPrinterDoc& operator=(const CPrinterDoc&) = delete;

    StringMap CurrentValues;
    StringMap ChangedValues; // written by the pages only in write-only mode; never cleared

#define ORBIS_DECLARE_DESCRIPTOR(kind, key) kind key;
    ORBIS_SETTING_KEYS(ORBIS_DECLARE_DESCRIPTOR)
#undef ORBIS_DECLARE_DESCRIPTOR

    int32_t WriteOnlyMode = 0;
    std::string PortName;
    uint8_t SaveMenuChecked = 0;

    // Builds the document from the application's chosen port, queried values and
    // query result (0 or 1). Returns false only when the base initialisation fails.
    virtual bool OnNewDocument(const std::string& portName, const StringMap& queriedValues, int queryResult);

    // NAME:VALUE for every entry of `table`, in table order; false on allocation failure.
    static bool BuildChangeList(const StringMap& table, std::vector<std::string>& list);

    // 0, -1, -3 from WritePrinterSettings, -10 when the change list could not be built,
    // or -11 (kNotDelivered) when the host could not pass what was written on to the port.
    // With a backup store set and a printer that answers (WriteOnlyMode 0), the settings
    // are first queried and saved as a backup (a query failure -1/-2, or kBackupFailed,
    // is returned and nothing is written); after a write that returned 0 they are
    // queried again and compared with what was sent (NotTaken(), LastCheckResult()).
    int ApplySettings();
    int SaveCommandFile(const std::string& path);

    // Asked before the frame closes: offers to apply unapplied edits, shuts the
    // printer link down, and always returns true.
    virtual bool SaveModified();

    bool IsModified() const {
        return Modified;
    }
    void SetModifiedFlag(bool modified = true) {
        Modified = modified;
    }

    // --- After an apply: what the read-back check found. ---
    // The settings the printer did not take at the last apply, in name order (empty
    // when every one was taken, or when nothing was checked).
    const std::vector<SettingNotTaken>& NotTaken() const {
        return NotTakenList;
    }
    // The check's query result at the last apply: 0 checked; 1 write-only (not
    // checked); -1/-2 the query failed; kNotChecked when no check ran (write failed,
    // no apply yet).
    static constexpr int kNotChecked = 100;
    int LastCheckResult() const {
        return CheckResult;
    }
    // Settings still to be sent: while the last check found settings not taken, an
    // apply sends only the entries of CurrentValues that differ from what the printer
    // reported holding (the settings not taken, plus edits made since). Otherwise the
    // usual rule holds (two-way: every setting; write-only: ChangedValues).
    bool RetryPending() const {
        return !NotTakenList.empty();
    }
    // The names an apply would send now while RetryPending(); the pages use it to
    // show which settings are still modified.
    std::vector<std::string> PendingNames() const;
    // Where backups go; nullptr (the default) takes none.
    void SetBackupStore(BackupStore* store) {
        Backups = store;
    }
    BackupStore* BackupStorage() const {
        return Backups;
    }
    // The backup taken before the last apply's first write ("" Id when none).
    const BackupEntry& LastBackup() const {
        return LastBackupEntry;
    }
    // Why the last backup could not be written ("" when it was).
    const std::string& LastBackupError() const {
        return BackupError;
    }

    // --- Profiles ---
    // The current values as a profile (header: model, catalogue, PortName, now).
    Profile ExportProfile() const;
    // Puts a profile's values in as edits: each value that differs from CurrentValues
    // is written there (and into ChangedValues in write-only mode) and the document
    // becomes modified. The profile must have been read without problems (ReadProfile).
    // Returns the names that changed, in name order.
    std::vector<std::string> ImportProfile(const Profile& profile);

    // Restores a backup (`id` as listed, "" the newest of PortName): imports it and
    // applies it, with the backup and the check of every apply. Returns the apply's
    // result, or kBackupMissing when the backup could not be read (`problems` say why).
    static constexpr int kBackupMissing = -12;
    int RestoreBackup(const std::string& id, std::vector<ProfileProblem>& problems);

    // Re-read: replaces CurrentValues by freshly queried values (queryResult 0), forgets
    // the last check and clears the modified flag. ChangedValues is kept in write-only mode.
    void ReloadValues(const StringMap& queriedValues);

    // Replaces the page in the splitter pane; the window host does the work.
    int ShowPage(int pageId, int row, int column);

    void SetWindowHost(IWindowHost* host) {
        Host = host;
    }
    IWindowHost* WindowHost() const {
        return Host;
    }

    // Every descriptor with its key and kind, in reading order.
    const std::vector<DescriptorRef>& Descriptors();
    // The descriptor of a setting key (exact case), or nullptr.
    const DescriptorRef* FindDescriptor(const std::string& key);

  protected:
    // Stands for the framework base's own initialisation.
    virtual bool BaseNewDocument() {
        return true;
    }

  private:
    void ReadDescriptors();
    int WriteWithStatus(const std::string& target, const std::string& statusText, bool toFile);

    const StringMap& ValuesToSend(StringMap& retry) const;

    IWindowHost* Host;
    bool Modified = false;
    BackupStore* Backups = nullptr;
    BackupEntry LastBackupEntry;
    std::string BackupError;
    std::vector<SettingNotTaken> NotTakenList;
    StringMap HeldValues; // what the printer reported at the last check
    int CheckResult = kNotChecked;
    std::vector<DescriptorRef> DescriptorTable;
};
