// The checked apply and what builds on it: backups taken before every apply and
// restored on demand, profiles exported from a printer, and the comparison of two
// configurations (printers, profiles or command files).
#include "cli.h"
#include "cli_apply.h"
#include "cli_exit.h"
#include "cli_json.h"

#include "backup_store.h"
#include "dvc.h"
#include "npa_exchange.h"
#include "orbis_platform.h"
#include "profile.h"
#include "readback.h"

#include <cstdio>
#include <iterator>
#include <map>

namespace cli {

std::string BackupDirectory() {
    std::string root = orbis::platform::Root();
    return root.empty() ? std::string() : root + "/backups";
}

// The write-only copy reports no failure of its own; the platform counts the copies that failed.
static int WriteDelivered(const std::string& port, const std::vector<std::string>& items) {
    const unsigned failedCopies = orbis::platform::FailedPortCopies();
    int result = WritePrinterSettings(port.c_str(), items);
    return result == 0 && orbis::platform::FailedPortCopies() != failedCopies ? kNotDelivered : result;
}

int CheckedApply(const std::string& port, const std::vector<std::string>& items) {
    // A file given for a port takes the commands and can answer nothing.
    if (!IsPrinterPortName(port)) return ReportResult(WriteDelivered(port, items), port);
    std::string directory = BackupDirectory();
    if (directory.empty()) return kExitFile; // the platform layer has said why the root is refused
    BackupStore store(directory);
    StringMap before;
    int query = QueryPrinterSettings(port.c_str(), before);
    bool twoWay = query == 0;
    if (query != 0 && query != kQueryWriteOnly) return ReportResult(query, port);
    if (twoWay) {
        std::string error;
        BackupEntry saved;
        if (!store.Save(port, before, error, &saved)) {
            std::fprintf(stderr, "orbis-cli: no backup could be kept, so nothing was sent: %s\n",
                         Escaped(error).c_str());
            return kExitFile;
        }
        std::printf("backup %s\n", saved.Id.c_str());
    } else {
        std::fprintf(stderr, "orbis-cli: %s answers one way only: no backup, no read-back check\n",
                     port.c_str());
    }
    int status = ReportResult(WriteDelivered(port, items), port);
    if (status != 0 || !twoWay) return status;
    std::vector<SettingNotTaken> notTaken;
    StringMap held;
    int check = ReadBackCheck(port.c_str(), items, notTaken, held);
    if (check != 0) {
        std::fprintf(stderr, "orbis-cli: the settings were sent, but reading them back failed (%d)\n", check);
        return kExitCommunication;
    }
    for (const SettingNotTaken& s : notTaken)
        std::fprintf(stderr, "orbis-cli: not taken: %s=%s (the printer holds %s)\n", Escaped(s.Name).c_str(),
                     Escaped(ToTerminal(s.Sent)).c_str(),
                     s.Reported ? ("\"" + Escaped(ToTerminal(s.Held)) + "\"").c_str() : "no value for it");
    return notTaken.empty() ? kExitOk : kExitNotTaken;
}

} // namespace cli

namespace {

using namespace cli;

int Usage(const char* text) {
    std::fprintf(stderr, "orbis-cli: usage: orbis-cli %s\n", text);
    return kExitUsage;
}

int ShowProblems(const std::string& what, const std::vector<ProfileProblem>& problems) {
    for (const ProfileProblem& problem : problems)
        std::fprintf(stderr, "orbis-cli: %s: %s\n", Escaped(what).c_str(),
                     Escaped(DescribeProblem(problem)).c_str());
    bool missing = !problems.empty() && problems[0].Kind == ProfileProblemKind::Unreadable;
    return missing ? kExitFile : kExitRefused;
}

// A printer's settings as it reports them; false (said on stderr, `status` set) when it cannot.
bool ReadPrinter(const std::string& port, StringMap& values, int& status) {
    int result = QueryPrinterSettings(port.c_str(), values);
    if (result == kQueryWriteOnly) {
        std::fprintf(stderr, "orbis-cli: %s answers one way only: its settings cannot be read\n",
                     port.c_str());
        status = kExitCommunication;
        return false;
    }
    status = ReportResult(result, port);
    values.erase(""); // reply items of no known identifier
    return status == 0;
}

int RunBackups(const std::vector<std::string>& args) {
    if (args.size() > 1) return Usage("backups [PORT]");
    std::string directory = BackupDirectory();
    if (directory.empty()) return kExitFile;
    std::vector<BackupEntry> entries = BackupStore(directory).List(args.empty() ? "" : args[0]);
    if (JsonOutput()) {
        std::vector<std::string> items;
        for (const BackupEntry& e : entries)
            items.push_back(JsonObject()
                                .Text("id", e.Id)
                                .Text("port", e.Port)
                                .Text("saved", e.Saved)
                                .Text("path", e.Path)
                                .Json());
        std::printf("%s\n", JsonArray(items).c_str());
        return 0;
    }
    for (const BackupEntry& e : entries)
        std::printf("%s  %s  %s\n", Escaped(e.Id).c_str(), e.Saved.c_str(), Escaped(e.Port).c_str());
    return 0;
}

int RunRestore(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) return Usage("restore PORT [BACKUP]");
    if (!RequirePort("restore", args[0])) return kExitUsage;
    std::string directory = BackupDirectory();
    if (directory.empty()) return kExitFile;
    Profile profile;
    std::vector<ProfileProblem> problems;
    if (!BackupStore(directory).Load(args[0], args.size() == 2 ? args[1] : "", profile, problems))
        return ShowProblems(args.size() == 2 ? args[1] : args[0], problems);
    std::vector<std::string> items;
    for (const auto& [name, value] : profile.Values)
        items.push_back(name + ":" + value);
    int status = CheckedApply(args[0], items);
    DvcShutdown();
    return status;
}

int RunExport(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage("export PORT FILE");
    if (!RequirePort("export", args[0])) return kExitUsage;
    StringMap values;
    int status = 0;
    bool read = ReadPrinter(args[0], values, status);
    DvcShutdown();
    if (!read) return status;
    std::vector<std::string> leftOut;
    Profile profile = MakeProfile(args[0], values, &leftOut);
    for (const std::string& name : leftOut)
        std::fprintf(stderr, "orbis-cli: not exported: %s=%s is no value the catalogue can write\n",
                     Escaped(name).c_str(), Escaped(ToTerminal(values[name])).c_str());
    std::string error;
    if (!WriteProfile(args[1], profile, error)) {
        std::fprintf(stderr, "orbis-cli: %s\n", Escaped(error).c_str());
        return kExitFile;
    }
    return 0;
}

// A port, a profile or a command file, as settings; false when it cannot be read.
// `partial`: a command file, which holds only the settings it changes.
bool ReadOperand(const std::string& what, StringMap& values, int& status, bool& partial) {
    partial = false;
    if (IsPrinterPortName(what)) return ReadPrinter(what, values, status);
    std::FILE* file = WinFopen(what.c_str(), "rb");
    int first = file ? std::fgetc(file) : EOF;
    if (file) std::fclose(file);
    if (first == 0xA5) { // an NPA packet: a command file
        std::vector<DecodedSetting> decoded;
        std::vector<std::pair<size_t, size_t>> gaps;
        if (!DecodeCommandFile(what, decoded, gaps)) {
            status = kExitFile;
            return false;
        }
        for (const DecodedSetting& d : decoded)
            values[d.name] = d.value;
        partial = true;
        return true;
    }
    Profile profile;
    std::vector<ProfileProblem> problems;
    if (!ReadProfile(what, profile, problems)) {
        status = ShowProblems(what, problems);
        return false;
    }
    values = profile.Values;
    return true;
}

int RunDiff(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage("diff A B");
    StringMap a, b;
    int status = 0;
    bool partialA = false, partialB = false;
    bool read = ReadOperand(args[0], a, status, partialA) && ReadOperand(args[1], b, status, partialB);
    DvcShutdown();
    if (!read) return status;
    // Against a command file only the settings it holds are compared: the rest it leaves as they are.
    auto keepOnly = [](StringMap& values, const StringMap& held) {
        for (auto it = values.begin(); it != values.end();)
            it = held.count(it->first) ? std::next(it) : values.erase(it);
    };
    if (partialA) keepOnly(b, a);
    if (partialB) keepOnly(a, b);
    std::vector<SettingDifference> diff = DiffSettings(a, b);
    auto shown = [](bool present, const std::string& value) {
        return present ? Escaped(ToTerminal(value)) : std::string("(none)");
    };
    if (JsonOutput()) {
        std::vector<std::string> items;
        for (const SettingDifference& d : diff) {
            JsonObject item;
            item.Text("name", d.Name);
            item.Raw("a", d.InA ? JsonString(ToTerminal(d.A)) : "null");
            item.Raw("b", d.InB ? JsonString(ToTerminal(d.B)) : "null");
            items.push_back(item.Json());
        }
        std::printf("%s\n", JsonArray(items).c_str());
    } else {
        for (const SettingDifference& d : diff)
            std::printf("%s: %s | %s\n", Escaped(d.Name).c_str(), shown(d.InA, d.A).c_str(),
                        shown(d.InB, d.B).c_str());
    }
    return diff.empty() ? kExitOk : kExitFindings;
}

} // namespace

ORBIS_CLI_COMMAND(backups, "backups", "[PORT]  list the backups taken before each apply, newest first",
                  RunBackups);
ORBIS_CLI_COMMAND(restore, "restore", "PORT [BACKUP]  write a backup back (default: the newest), checked",
                  RunRestore);
ORBIS_CLI_COMMAND(export, "export", "PORT FILE  save the printer's settings as a profile", RunExport);
ORBIS_CLI_COMMAND(diff, "diff", "A B  compare two of: a port, a profile, a command file", RunDiff);
