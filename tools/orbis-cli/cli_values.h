// apply and save check each NAME:VALUE against the catalogue before anything is
// sent: a value name the setting has, a number within its range, a text that
// fits its length in code-page-949 bytes. What does not fit is named on stderr.
#pragma once

#include <string>
#include <vector>

namespace cli {

// True when every item fits; the catalogue is loaded first.
bool ValuesFit(const std::vector<std::string>& items);

// Bytes `utf8` takes in code page 949; -1 when a character has no 949 form.
long Cp949Length(const std::string& utf8);

} // namespace cli
