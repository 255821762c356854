// apply and save check each NAME:VALUE against the catalogue before anything is
// sent: a value name the setting has, a number within its range, a text that
// fits its length in code-page-949 bytes. What does not fit is named on stderr.
#pragma once

#include <string>
#include <vector>

namespace cli {

// True when every item (values in code page 949) fits; the catalogue is loaded first.
bool ValuesFit(const std::vector<std::string>& items);

} // namespace cli
