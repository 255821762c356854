#include "cli_help.h"

#include "cli.h"

#include <map>

namespace cli {

namespace {

struct Help {
    const char* text;     // what the command does, beyond its one-line usage
    const char* examples; // command lines, one a line
};

const std::map<std::string, Help>& Helps() {
    static const std::map<std::string, Help> helps = {
        {"devices",
         {"Lists the printers whose driver the catalogue names, on LPT and USB ports, one a line:\n"
          "the port, \" - \", the printer's name, and its source in brackets ([simulated], [cups],\n"
          "[kernel] or [registry]).",
          "orbis-cli devices\norbis-cli --format json devices"}},
        {"probe",
         {"Opens PORT and shows what the library found there: the IEEE 1284 device ID, the family\n"
          "marker, the NPA mode, and whether the port runs write-only.",
          "orbis-cli probe LPT1\norbis-cli --format json probe USB001"}},
        {"query",
         {"Reads every setting in one NPA exchange and prints NAME=VALUE lines, sorted. Without\n"
          "PORT the only supported printer is used; with several, name the port.",
          "orbis-cli query\norbis-cli query LPT1 | grep PWRSVR\norbis-cli --format json query USB001"}},
        {"apply",
         {"Takes the printer offline, sends one catalogue command per NAME=VALUE and brings it\n"
          "online. Each value is checked against the catalogue first (value names, numeric ranges,\n"
          "text length in code-page-949 bytes); a value that does not fit is named and nothing is sent.\n"
          "With --from PROFILE the values are a profile's; any bad line of it is named and nothing is sent.\n"
          "On a printer that answers, the settings are kept as a backup first (\"backup ID\" on stdout)\n"
          "and read back after: each setting not taken is named on stderr, exit status 8.",
          "orbis-cli apply LPT1 PWRSVR=30\norbis-cli apply USB001 BLANKPGS=PRINT 'CUST1NAME=My paper'\n"
          "orbis-cli apply USB001 --from office.profile"}},
        {"backups",
         {"Lists the backups taken before each apply (the newest 20 of each printer, under the root's\n"
          "backups/), newest first: the backup's name, when it was taken, the port.",
          "orbis-cli backups LPT1\norbis-cli --format json backups"}},
        {"restore",
         {"Writes a backup back: the one named, else the newest of PORT. It goes out as apply sends:\n"
          "with a backup of its own first (so another restore undoes it) and the read-back check.",
          "orbis-cli restore LPT1\norbis-cli restore LPT1 LPT1-20261206T070000123Z.profile"}},
        {"export",
         {"Reads every setting and saves it as a profile: UTF-8 text, a [Profile] header naming the\n"
          "model, the catalogue and the port, then NAME=VALUE lines under [Settings]. A value the\n"
          "catalogue could not write back is named on stderr and left out.",
          "orbis-cli export LPT1 office.profile"}},
        {"diff",
         {"Compares two configurations, each a port (queried), a profile, or a command file (read back\n"
          "as decode reads it; only the settings it holds are compared). One \"NAME: A | B\" line per\n"
          "setting that differs, \"(none)\" for a side without it; exit status 7 when any differs.",
          "orbis-cli diff LPT1 USB001\norbis-cli diff office.profile LPT1\norbis-cli diff settings.npa "
          "LPT1"}},
        {"save",
         {"Writes the same commands as apply into the command file FILE (\"settings.npa\" by\n"
          "custom), to be sent to the printer later. Values are checked as for apply.",
          "orbis-cli save settings.npa LINESPERPG=60 AUTOCR=ON"}},
        {"decode",
         {"Reads a command file back as NAME=VALUE lines, by the catalogue's write commands.\n"
          "Bytes that match no command are reported on stderr (exit status 7).",
          "orbis-cli decode settings.npa\norbis-cli --format json decode settings.npa"}},
        {"check",
         {"For catalogue authors: lists, by section and line, what the program would ignore or\n"
          "misread in CATALOGUE (default: the catalogue the other commands use). Exit status 7\n"
          "when anything is listed.",
          "orbis-cli check\norbis-cli check ./my-quillon.ini"}},
        {"send",
         {"Sends each HEX command (one argument per command) and prints the library's result and\n"
          "the printer's reply in hex.",
          "orbis-cli send LPT1 A5000650E0E70C0000"}},
        {"write",
         {"Takes the printer offline, sends each HEX command without waiting for a reply, and\n"
          "brings it online, as the Save command's file would when sent.",
          "orbis-cli write LPT1 A5000640E0E70C0000"}},
        {"offline", {"Takes the printer on PORT offline.", "orbis-cli offline LPT1"}},
        {"online", {"Brings the printer on PORT back online.", "orbis-cli online LPT1"}},
        {"log-level",
         {"Stores the library's LoggingLevel in the registry for every later run (0x01 entry and\n"
          "outcome, 0x02 steps, 0x10 packet dumps; the log is C:\\VanDvc32.log under the root).\n"
          "The option --log-level sets it for one run only.",
          "orbis-cli log-level 0x13\norbis-cli log-level 0"}},
    };
    return helps;
}

} // namespace

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: orbis-cli [OPTIONS] COMMAND [ARGS...]\n"
                      "       orbis-cli help COMMAND\n\n"
                      "The engineer's console of the Orbis LP 2200 settings utility.\n\ncommands:\n");
    for (const auto& [name, command] : Commands())
        std::fprintf(out, "  %-10s %s\n", name.c_str(), command.usage);
    std::fprintf(out, "\noptions:\n"
                      "  --root DIR         the Windows stand-in root (as ORBIS_ROOT)\n"
                      "  --log-level N      the library's LoggingLevel for this run only\n"
                      "  --format text|json json for devices, probe, query, decode, backups and diff\n"
                      "  --from PROFILE     apply: the values of a profile\n"
                      "  --help, -h         this text; with a command, that command's help\n"
                      "  --version          the program's version\n\n"
                      "exit status: 0 done, 1 other failure, 2 usage, 3 no printer, 4 communication,\n"
                      "5 refused, 6 file (catalogue or named file), 7 decode/check found what does not fit\n"
                      "or diff a difference, 8 the printer did not take some settings (apply, restore).\n"
                      "The catalogue is .\\quillon.ini in the current directory, else the installed one.\n"
                      "See orbis-cli(1).\n");
}

bool PrintCommandHelp(const std::string& name, std::FILE* out) {
    auto command = Commands().find(name);
    if (command == Commands().end()) return false;
    // A usage line is "ARGS  what it does".
    std::string usage = command->second.usage;
    size_t gap = usage.find("  ");
    if (!usage.empty() && usage[0] == ' ') gap = 0;
    std::string what =
        gap == std::string::npos ? std::string() : usage.substr(usage.find_first_not_of(' ', gap));
    usage = gap == std::string::npos ? usage : usage.substr(0, gap);
    std::fprintf(out, "usage: orbis-cli %s%s%s\n\n%s\n", name.c_str(), usage.empty() ? "" : " ",
                 usage.c_str(), what.c_str());
    auto help = Helps().find(name);
    if (help != Helps().end()) {
        std::fprintf(out, "\n%s\n\nexamples:\n", help->second.text);
        std::string examples = help->second.examples;
        for (size_t start = 0; start < examples.size();) {
            size_t end = examples.find('\n', start);
            if (end == std::string::npos) end = examples.size();
            std::fprintf(out, "  %s\n", examples.substr(start, end - start).c_str());
            start = end + 1;
        }
    }
    return true;
}

} // namespace cli
