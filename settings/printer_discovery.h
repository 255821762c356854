// Finding the printers of the supported drivers in the spooler's registry and
// choosing the one to configure.
#pragma once

#include "npa_catalogue.h"
#include "window_host.h"

#include <string>

inline constexpr const char* kSpoolerPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";

// Fills `printers` with "PORT - NAME" -> PORT for every printer whose driver the
// catalogue names and whose port begins with "LPT" or "USB". A registry failure is
// reported through `host` (when given) and leaves the table empty.
void DiscoverPrinters(StringMap& printers, IWindowHost* host);

// The start-up choice: none -> message, false; one -> taken; several -> the selection
// dialog. On success sets selectedPrinter (the line) and portName and returns true.
bool SelectPrinter(const StringMap& printers, IWindowHost& host, std::string& selectedPrinter,
                   std::string& portName);
