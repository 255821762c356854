// orbis-cli: the engineer's console on the library. Each subcommand lives in
// its own file and registers itself here.
#pragma once

#include <map>
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
// Every registered command, by name.
std::map<std::string, Command>& Commands();

// Prints "orbis-cli: <operation> failed: <NAME> (<code>)" on stderr and notes the
// exit status of that kind of failure (cli_exit.h).
void Fail(const std::string& operation, int code);

// Parses hex digits (blanks and an optional 0x prefix ignored); false on odd or bad digits.
bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes);

} // namespace cli

#define ORBIS_CLI_COMMAND(id, name, usage, fn)                                                               \
    static const bool id##_registered = cli::Register({name, usage, fn})
