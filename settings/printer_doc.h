// The single document: the current value of every setting as text, the
// descriptors that tell the pages how to present them, and the way changes
// reach the printer (apply) or a command file (save).
#pragma once

#include "descriptors.h"
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

    // 0, -1, -3 from WritePrinterSettings, -10 when the change list could not be built, or
    // -11 (kNotDelivered) when the host could not pass what was written on to the port.
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

    IWindowHost* Host;
    bool Modified = false;
    std::vector<DescriptorRef> DescriptorTable;
};
