// orbis-cli: the engineer's console on the library. Each subcommand lives in
// its own file and registers itself here.
#pragma once

#include <cstdint>
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

// Parses hex digits: blank-separated groups, each with an optional 0x prefix, ':' and
// '-' allowed between digits; false on odd, bad or no digits.
bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes);

// Text crosses the console in the terminal's encoding (UTF-8) and the library in
// the ANSI code page (949). FromTerminal says on stderr what cannot be converted
// (`what` names the argument) and returns false.
bool FromTerminal(const std::string& what, const std::string& utf8, std::string& ansi);
std::string ToTerminal(const std::string& ansi);
// True for a printer port name ("LPT...", "USB..."); otherwise prints that `command`
// reads printers only (it would open any other name as a file and empty it) and returns false.
bool RequirePort(const char* command, const std::string& name);

// Text from a printer, a catalogue or a file made safe for one output line:
// control characters (C0 and DEL) as \xNN, so nothing forges a line or drives the terminal.
std::string Escaped(const std::string& text);

// A logging level as the console takes it (log-level N, --log-level N): decimal or
// 0x hex, 0 to 0xFFFFFFFF; false for anything else.
bool ParseLevel(const std::string& text, uint32_t& level);

} // namespace cli

#define ORBIS_CLI_COMMAND(id, name, usage, fn)                                                               \
    static const bool id##_registered = cli::Register({name, usage, fn})
