// The read-back check: a printer may refuse a value without a word (a write asks
// for no reply), so after a write the settings are queried again and compared
// with what was sent.
#pragma once

#include "npa_catalogue.h"

#include <string>
#include <vector>

// One setting the printer did not take.
struct SettingNotTaken {
    std::string Name;     // NPA name
    std::string Sent;     // the value sent, code page 949
    std::string Held;     // the value the printer reports holding
    bool Reported = true; // false: the printer did not report the setting at all
};

// True for a printer port name ("LPT...", "USB..."): only a printer can answer a
// query; a command file would take the query into itself.
bool IsPrinterPortName(const std::string& port);

// True when the printer's `held` value is the one `sent`: value names without
// regard to case, numbers by their value, texts byte for byte.
bool SameSettingValue(const std::string& name, const std::string& sent, const std::string& held);

// The items (NAME:VALUE as sent) whose value `held` does not show. Settings the
// catalogue has no read command for are not checked.
std::vector<SettingNotTaken> CompareWithHeld(const std::vector<std::string>& sent, const StringMap& held);

// QueryPrinterSettings(port) and CompareWithHeld. Returns the query's result: 0 when
// the check was made (`notTaken` filled, `held` the values read); 1 in write-only
// mode, -1 or -2 when the query failed: then nothing was compared and `notTaken` is empty.
int ReadBackCheck(const char* port, const std::vector<std::string>& sent,
                  std::vector<SettingNotTaken>& notTaken, StringMap& held);
