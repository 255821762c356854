// What --help and `help COMMAND` print.
#pragma once

#include <cstdio>
#include <string>

namespace cli {

void PrintUsage(std::FILE* out);
// False when there is no such command.
bool PrintCommandHelp(const std::string& name, std::FILE* out);

} // namespace cli
