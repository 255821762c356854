// orbis-cli's entry: the options every command takes, help and version, the
// catalogue for the commands that read it, then the command itself.
#include "catalogue_location.h"
#include "npa_catalogue.h"
#include "cli.h"
#include "cli_exit.h"
#include "cli_help.h"
#include "cli_json.h"
#include "dvc.h"
#include "dvc_internal.h"
#include "orbis_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#ifndef ORBIS_VERSION
#define ORBIS_VERSION "0"
#endif

namespace {

struct Options {
    bool help = false;
    bool version = false;
    std::string root;
    bool hasLevel = false;
    uint32_t level = 0;
    std::vector<std::string> rest; // the command and its arguments
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "orbis-cli: %s\n(orbis-cli --help lists the commands and options)\n",
                 message.c_str());
    return cli::kExitUsage;
}

// Options may stand before or after the command; "--" ends them.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            options.rest.insert(options.rest.end(), argv + i + 1, argv + argc);
            break;
        }
        if (arg.rfind("--", 0) != 0 && arg != "-h") {
            options.rest.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--version") {
            options.version = true;
            continue;
        }
        if (name == "--from") { // apply's own option: left to the command, with its value
            options.rest.push_back(arg);
            continue;
        }
        if (name != "--root" && name != "--log-level" && name != "--format") {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--root") {
            if (value.empty()) {
                error = "--root needs a directory";
                return false;
            }
            options.root = value;
        } else if (name == "--log-level") {
            if (!cli::ParseLevel(value, options.level)) {
                error = "--log-level takes a number, decimal or 0x hex, 0 to 0xFFFFFFFF";
                return false;
            }
            options.hasLevel = true;
        } else if (value == "json" || value == "text") {
            cli::SetJsonOutput(value == "json");
        } else {
            error = "--format takes text or json";
            return false;
        }
    }
    return true;
}

// The commands that read the catalogue; without one they could only print nothing.
bool NeedsCatalogue(const std::string& command, const std::vector<std::string>& args) {
    static const std::set<std::string> readers = {"devices", "query",  "apply",   "save",
                                                  "decode",  "export", "restore", "diff"};
    return readers.count(command) || (command == "check" && args.empty());
}

std::string Shown(const std::string& place) {
    if (place != kCatalogueFile) return place;
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? std::string("./quillon.ini") : (cwd / "quillon.ini").string();
}

} // namespace

namespace cli {

int ExitForDvc(int code, bool opening) {
    switch (code) {
    case DVC_OK:
    case DVC_OPEN_UNIDIRECTIONAL:
        return kExitOk;
    case DVC_REFUSED:
        return kExitRefused;
    case DVC_FAIL:
        return opening ? kExitNoPrinter : kExitCommunication;
    default:
        return kExitCommunication;
    }
}

namespace {
int firstFailure = 0;
}

void NoteFailure(int status) {
    if (firstFailure == 0) firstFailure = status;
}

int FailureStatus() {
    return firstFailure ? firstFailure : kExitFailure;
}

} // namespace cli

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) return UsageError(error);
    if (options.version) {
        std::printf("orbis-cli %s (Orbis LP 2200 settings utility)\n", ORBIS_VERSION);
        return 0;
    }
    std::vector<std::string>& rest = options.rest;
    if (!rest.empty() && rest[0] == "help") {
        if (rest.size() == 1) {
            cli::PrintUsage(stdout);
            return 0;
        }
        if (rest.size() > 2) return UsageError("help takes one command");
        if (!cli::PrintCommandHelp(rest[1], stdout)) return UsageError("no command '" + rest[1] + "'");
        return 0;
    }
    if (rest.empty()) {
        if (options.help) {
            cli::PrintUsage(stdout);
            return 0;
        }
        cli::PrintUsage(stderr);
        return cli::kExitUsage;
    }
    auto command = cli::Commands().find(rest[0]);
    if (command == cli::Commands().end()) return UsageError("unknown command '" + rest[0] + "'");
    if (options.help) {
        cli::PrintCommandHelp(rest[0], stdout);
        return 0;
    }
    static const std::set<std::string> jsonCommands = {"devices", "probe",   "query",
                                                       "decode",  "backups", "diff"};
    if (cli::JsonOutput() && !jsonCommands.count(rest[0]))
        return UsageError("--format json is for devices, probe, query, decode, backups and diff");
    std::vector<std::string> args(rest.begin() + 1, rest.end());

    if (!options.root.empty()) setenv("ORBIS_ROOT", options.root.c_str(), 1);
    if (options.hasLevel) {
        // The registry's level is read once, here; this run uses the option's instead,
        // and empties the log at start as the library does when logging is on.
        DvcInit();
        if (options.level != 0 && G_LoggingLevel == 0) {
            if (FILE* log = WinFopen("C:\\VanDvc32.log", "w")) std::fclose(log);
        }
        G_LoggingLevel = options.level;
    }
    if (NeedsCatalogue(rest[0], args)) {
        CatalogueSearch catalogue = LocateCatalogue();
        if (catalogue.found.empty()) {
            std::fprintf(stderr, "orbis-cli: no catalogue quillon.ini found; looked in:\n");
            for (const std::string& place : catalogue.lookedIn)
                std::fprintf(stderr, "  %s\n", Shown(place).c_str());
            return cli::kExitFile;
        }
    }
    int status = command->second.run(args);
    // A printer the system refused says why; the library only has its error codes.
    if (status != 0 && !orbis::platform::HostDeviceProblem().empty())
        std::fprintf(stderr, "orbis-cli: %s\n", orbis::platform::HostDeviceProblem().c_str());
    return status;
}
