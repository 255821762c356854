// What the units of the kernel's USB printer source share: the two device
// interface classes a printer shows on Windows, and the testing knobs of the
// device objects.
#pragma once

namespace orbis::platform {

// The USB printer interface class, whose instances carry the spooler's port number.
constexpr char kUsbPrinterInterfaceClass[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
// The USB device interface class, under which SetupAPI lists every USB device.
constexpr char kUsbDeviceInterfaceClass[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// A write fails with ERROR_SEM_TIMEOUT when the printer takes no byte for this long.
constexpr int kKernelUsbWriteStallMs = 20000;
// A node stays open this long after its last handle closes: usblp throws away
// what the printer sent when the node is closed, and the library closes its
// read pipe after every reply and opens the next one at once.
constexpr int kKernelUsbLingerMs = 2000;

// Shortens both times for this process (tests); 0 restores the default.
void SetKernelUsbTimesForTesting(int writeStallMs, int lingerMs);
int KernelUsbWriteStallMs();
int KernelUsbLingerMs();

} // namespace orbis::platform
