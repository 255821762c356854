#include "printer_doc.h"

#include "npa_exchange.h"
#include "res/strings.h"

#include <new>

CPrinterDoc::CPrinterDoc(IWindowHost* host) : Host(host) {
#define ORBIS_DESCRIPTOR_REF(kind, key) DescriptorTable.push_back({#key, DescriptorKind::kind, &key});
    ORBIS_SETTING_KEYS(ORBIS_DESCRIPTOR_REF)
#undef ORBIS_DESCRIPTOR_REF
}

bool CPrinterDoc::OnNewDocument(const std::string& portName, const StringMap& queriedValues,
                                int queryResult) {
    if (!BaseNewDocument()) {
        SetModifiedFlag(false);
        return false;
    }
    PortName = portName;
    for (const auto& [name, value] : queriedValues)
        CurrentValues[name] = value;
    WriteOnlyMode = queryResult;
    if (WriteOnlyMode == 1) {
        SaveMenuChecked = 0;
        if (Host)
            Host->ShowMessage(false, LoadStringText(IDS_WRITE_ONLY_NOTICE),
                              LoadStringText(IDS_WRITE_ONLY_CAPTION), MessageIcon::Information,
                              MessageButtons::Ok);
    } else {
        SaveMenuChecked = 1;
    }
    ReadDescriptors();
    SetModifiedFlag(false);
    return true;
}

void CPrinterDoc::ReadDescriptors() {
#define ORBIS_READ_DESCRIPTOR(kind, key) Read##kind(#key, key);
    ORBIS_SETTING_KEYS(ORBIS_READ_DESCRIPTOR)
#undef ORBIS_READ_DESCRIPTOR
}

bool CPrinterDoc::BuildChangeList(const StringMap& table, std::vector<std::string>& list) {
    try {
        list.resize(table.size());
        size_t i = 0;
        for (const auto& [name, value] : table)
            list[i++] = name + ":" + value;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int CPrinterDoc::WriteWithStatus(const std::string& target, const std::string& statusText, bool toFile) {
    std::string remembered;
    if (Host) {
        remembered = Host->StatusText();
        Host->SetStatusText(statusText);
        Host->SetWaitCursor(true);
    }
    std::vector<std::string> list;
    int result = BuildChangeList(WriteOnlyMode == 0 ? CurrentValues : ChangedValues, list)
                     ? (toFile ? SaveSettingsFile : WritePrinterSettings)(target.c_str(), list)
                     : kChangeListFailed;
    if (Host) {
        Host->SetWaitCursor(false);
        Host->SetStatusText(remembered);
    }
    return result;
}

int CPrinterDoc::ApplySettings() {
    std::string remembered;
    if (Host) {
        remembered = Host->StatusText();
        Host->SetStatusText(LoadStringText(IDS_APPLY_STATUS));
        Host->SetWaitCursor(true);
    }
    StringMap retry;
    std::vector<std::string> list;
    int result = BuildChangeList(ValuesToSend(retry), list) ? 0 : kChangeListFailed;
    LastBackupEntry = {};
    BackupError.clear();
    // A printer that cannot answer has nothing to back up and nothing to read back.
    bool twoWay = WriteOnlyMode == 0 && IsPrinterPortName(PortName);
    if (result == 0 && twoWay && Backups) {
        StringMap before;
        int query = QueryPrinterSettings(PortName.c_str(), before);
        if (query == 0 && !Backups->Save(PortName, before, BackupError, &LastBackupEntry))
            result = kBackupFailed;
        else if (query != 0 && query != kQueryWriteOnly)
            result = query;
    }
    const unsigned failedCopies = Host ? Host->FailedPortCopies() : 0;
    if (result == 0) result = WritePrinterSettings(PortName.c_str(), list);
    // The write-only copy reports no failure of its own; the host counts the copies that failed.
    if (result == 0 && Host && Host->FailedPortCopies() != failedCopies) result = kNotDelivered;
    CheckResult = kNotChecked;
    if (result == 0 && twoWay) {
        CheckResult = ReadBackCheck(PortName.c_str(), list, NotTakenList, HeldValues);
        // What was sent is now what the printer holds, unless it said otherwise.
        if (CheckResult != 0) NotTakenList.clear();
        if (!NotTakenList.empty()) SetModifiedFlag(true);
    }
    if (Host) {
        Host->SetWaitCursor(false);
        Host->SetStatusText(remembered);
    }
    return result;
}

const StringMap& CPrinterDoc::ValuesToSend(StringMap& retry) const {
    if (WriteOnlyMode != 0) return ChangedValues;
    if (NotTakenList.empty()) return CurrentValues;
    retry.clear();
    for (const auto& [name, value] : CurrentValues) {
        auto held = HeldValues.find(name);
        if (held == HeldValues.end() || !SameSettingValue(name, value, held->second)) retry[name] = value;
    }
    return retry;
}

std::vector<std::string> CPrinterDoc::PendingNames() const {
    std::vector<std::string> names;
    if (!RetryPending()) return names;
    StringMap retry;
    for (const auto& entry : ValuesToSend(retry))
        names.push_back(entry.first);
    return names;
}

Profile CPrinterDoc::ExportProfile() const {
    return MakeProfile(PortName, CurrentValues);
}

std::vector<std::string> CPrinterDoc::ImportProfile(const Profile& profile) {
    std::vector<std::string> changed;
    for (const auto& [name, value] : profile.Values) {
        auto current = CurrentValues.find(name);
        if (current != CurrentValues.end() && current->second == value) continue;
        CurrentValues[name] = value;
        if (WriteOnlyMode == 1) ChangedValues[name] = value;
        changed.push_back(name);
    }
    if (!changed.empty()) SetModifiedFlag(true);
    return changed;
}

int CPrinterDoc::RestoreBackup(const std::string& id, std::vector<ProfileProblem>& problems) {
    Profile profile;
    if (!Backups || !Backups->Load(PortName, id, profile, problems)) {
        if (!Backups) problems.push_back({0, ProfileProblemKind::Unreadable, "", "", "no backup store"});
        return kBackupMissing;
    }
    ImportProfile(profile);
    // The backup holds the whole configuration: send all of it, not only what differs.
    NotTakenList.clear();
    int result = ApplySettings();
    if (result == 0 && NotTakenList.empty()) SetModifiedFlag(false);
    return result;
}

void CPrinterDoc::ReloadValues(const StringMap& queriedValues) {
    CurrentValues = queriedValues;
    NotTakenList.clear();
    HeldValues.clear();
    CheckResult = kNotChecked;
    SetModifiedFlag(false);
}

int CPrinterDoc::SaveCommandFile(const std::string& path) {
    return WriteWithStatus(path, LoadStringText(IDS_SAVE_STATUS), true);
}

bool CPrinterDoc::SaveModified() {
    if (IsModified()) {
        // Without windows there is nobody to ask; the edits are then discarded.
        int answer = Host ? Host->ShowMessage(true, LoadStringText(IDS_APPLY_QUESTION),
                                              LoadStringText(IDS_APPLY_QUESTION_CAPTION),
                                              MessageIcon::Question, MessageButtons::YesNo)
                          : kIdNo;
        if (answer == kIdYes && ApplySettings() != 0 && Host)
            Host->ShowMessage(true, LoadStringText(IDS_APPLY_FAILED),
                              LoadStringText(IDS_APPLY_FAILED_CAPTION), MessageIcon::Stop,
                              MessageButtons::Ok);
        SetModifiedFlag(false);
    }
    ShutdownPrinterLink(PortName.c_str());
    return true;
}

int CPrinterDoc::ShowPage(int pageId, int row, int column) {
    return Host ? Host->ShowPage(pageId, row, column) : 0;
}

const std::vector<DescriptorRef>& CPrinterDoc::Descriptors() {
    return DescriptorTable;
}

const DescriptorRef* CPrinterDoc::FindDescriptor(const std::string& key) {
    for (const DescriptorRef& ref : DescriptorTable)
        if (key == ref.Key) return &ref;
    return nullptr;
}
