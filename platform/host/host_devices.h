// Printers attached to this machine itself: the kernel's USB printer-class
// devices, its parallel ports, and the printers CUPS has. They appear beside
// the simulated ones: as device names CreateFileA opens, in the SetupAPI view,
// and as the registry keys a driver and the spooler would have written.
#pragma once

#include "hive.h"
#include "source_choice.h"
#include "io_object.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orbis::platform {

// Marks a registry key this layer wrote for a host printer ("kernel" or "cups"),
// so that it is updated or removed when the printer changes or goes.
constexpr const char* kHostSourceValue = "HostSource";

// ---- USB printers of the kernel's printer-class driver (kernel_usb*.cpp)

struct KernelUsbPrinter {
    std::string node;        // host path of the device node, "<dev>/usb/lp0"
    std::string printerPath; // "\\?\usb#vid_xxxx&pid_yyyy#<serial>#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"
    std::string devicePath;  // the same under {a5dcbf10-6530-11d2-901f-00c04fb951ed}
    std::string instance;    // "USB\VID_XXXX&PID_YYYY\<serial>"
    std::string serial;      // the USB serial number, "" when the device has none
    std::string deviceId;    // the IEEE 1284 ID as sysfs last saw it
    std::string portKey;     // what keeps its USB00n (see HostUsbPortNumber)
};

// The printers present now, ordered by node.
std::vector<KernelUsbPrinter> ScanKernelUsbPrinters(const HostSources& sources);
// Writes the device-class keys of the present printers ("Linked" 1, "Port
// Number" from HostUsbPortNumber) and sets "Linked" to 0 on kernel printers gone.
void ApplyKernelUsbPrinters(Hive& hive, const std::vector<KernelUsbPrinter>& printers, bool* changed);
// Opens a device path of a present printer, bare or with "\PIPE00" / "\PIPE01" /
// "\CTLPIPE"; null with ERROR_FILE_NOT_FOUND when no kernel printer has that path.
std::shared_ptr<IoObject> OpenKernelUsb(const HostSources& sources, const std::string& name, DWORD access,
                                        DWORD* error);

// ---- parallel ports (host_parallel*.cpp)

// "LPTn" is the host's parallel port n-1 (parport/lp number). Null with
// ERROR_FILE_NOT_FOUND when the host has no such port.
std::shared_ptr<IoObject> OpenHostParallel(const HostSources& sources, int lptNumber, DWORD access,
                                           DWORD* error);
// VER_PLATFORM_WIN32_WINDOWS when a host parallel port can be read (ppdev),
// VER_PLATFORM_WIN32_NT when ports exist but can only be written, 0 when none.
int HostParallelFamily(const HostSources& sources);
// The n of each "LPTn" whose printer the kernel's probe found to be of the family
// (<proc>/sys/dev/parport/parportK/autoprobe), in order.
std::vector<int> FamilyParallelPorts(const HostSources& sources);

// ---- the spooler view from CUPS (cups_printers*.cpp)

struct CupsPrinter {
    std::string name;         // printer-name
    std::string makeAndModel; // printer-make-and-model
    std::string deviceUri;    // device-uri
};

// Every printer CUPS has; nullopt when CUPS cannot be reached within the time-out.
std::optional<std::vector<CupsPrinter>> QueryCupsPrinters(const HostSources& sources);
// Writes the spooler entries of CUPS printers on usb:// and parallel: URIs
// ("Name", "Printer Driver", "Port") and removes those of printers CUPS no longer has.
void ApplyCupsPrinters(Hive& hive, const std::vector<CupsPrinter>& printers,
                       const std::vector<KernelUsbPrinter>& usb, bool* changed);

// ---- spooler entries of the family's printers without a queue (kernel_spooler.cpp)

// Whether an IEEE 1284 device ID carries one of the family's markers.
bool IsFamilyDeviceId(const std::string& deviceId);
// Writes "<driver> (<port>)" entries (HostSource "kernel") for the family's USB
// printers and the parallel ports in familyLpts (n of "LPTn") whose port no other
// spooler entry prints to, and removes the "kernel" entries no longer wanted.
// Run after ApplyCupsPrinters, so that a queue's entry wins.
void ApplyKernelSpoolerEntries(Hive& hive, const std::vector<KernelUsbPrinter>& usb,
                               const std::vector<int>& familyLpts, bool* changed);

// ---- shared

// What CUPS' usb backend names a printer by in its device URI: the serial (the
// device ID's SERIALNUMBER, SERN or SN, else the USB descriptor's) and "MFG/MDL"
// (MANUFACTURER before MFG, MODEL before MDL, "Hewlett-Packard" as "HP", the
// manufacturer taken off the front of the model); makeModel is "" when the ID
// names neither.
struct CupsUsbName {
    std::string serial;
    std::string makeModel;
};
CupsUsbName CupsUsbNameOf(const std::string& deviceId, const std::string& descriptorSerial);

// The N of "USB00N" for a host USB printer, by its port key: the USB serial
// number, or "MFG/MDL" of its device ID when it has none (the same text CUPS
// puts in a usb:// URI). Kept in the hive, so a printer keeps its port across
// re-plugging, and the kernel and CUPS views agree. New keys take the lowest
// number that no device-class key and no other key uses.
int HostUsbPortNumber(Hive& hive, const std::string& portKey, bool* changed);

// Brings the hive's kernel and CUPS entries up to date; at most once a second
// per process, and never while the root's sources leave both out.
void RefreshHostEntries();

} // namespace orbis::platform
