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
    const unsigned failedCopies = Host ? Host->FailedPortCopies() : 0;
    int result = WriteWithStatus(PortName, LoadStringText(IDS_APPLY_STATUS), false);
    return result == 0 && Host && Host->FailedPortCopies() != failedCopies ? kNotDelivered : result;
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
