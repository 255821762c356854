// What Windows holds for a plugged-in printer with an installed driver: the
// spooler's printer key, and for USB the device-class keys of its interfaces.
#pragma once

#include <string>

namespace orbis::sim {

struct UsbIdentity {
    int portNumber;          // the N of USB00N
    std::string serial;      // the serial segment of the device paths
    std::string printerPath; // device path under the USB printer interface class
    std::string devicePath;  // device path under the USB device interface class
    std::string instance;    // "USB\VID_...&PID_...\serial"
};

UsbIdentity MakeUsbIdentity(int portNumber, const std::string& serial);
// A USB device that is no printer: only the device interface class.
std::string OtherDevicePath(int number);

bool WriteSpoolerEntry(const std::string& name, const std::string& driver, const std::string& port,
                       std::string* error);
bool RegisterUsbInterfaces(const UsbIdentity& usb, std::string* error);
// Removes the device-class keys; the spooler entry stays, as on Windows.
void UnregisterUsbInterfaces(const UsbIdentity& usb);

} // namespace orbis::sim
