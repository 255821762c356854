// orbis-cli: the engineer's console on the library. Each subcommand lives in
// its own file and registers itself here.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct Command {
    const char* name;
    const char* usage;                                // one line: arguments and what it does
    int (*run)(const std::vector<std::string>& args); // args after the subcommand name
};

// Called from static registrars; returns true so it can initialise a variable.
bool Register(const Command& command);

// Prints "orbis-cli: <operation> failed: <NAME> (<code>)" on stderr.
void Fail(const std::string& operation, int code);

// Parses hex digits (blanks and an optional 0x prefix ignored); false on odd or bad digits.
bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes);

// Text crosses the console in the terminal's encoding (UTF-8) and the library in
// the ANSI code page (949). FromTerminal says on stderr what cannot be converted
// (`what` names the argument) and returns false.
bool FromTerminal(const std::string& what, const std::string& utf8, std::string& ansi);
std::string ToTerminal(const std::string& ansi);

} // namespace cli

#define ORBIS_CLI_COMMAND(id, name, usage, fn)                                                               \
    static const bool id##_registered = cli::Register({name, usage, fn})
