// Settings subcommands: the discovered printers, a query of every setting, a
// write of NAME=VALUE items to a port or a command file, and the reading of a
// command file back into NAME=VALUE lines. The catalogue is ".\quillon.ini" in
// the current directory, as for the application, else the installed one.
#include "cli.h"
#include "cli_exit.h"
#include "cli_json.h"
#include "cli_values.h"
#include "cli_apply.h"

#include "dvc.h"
#include "npa_exchange.h"
#include "printer_discovery.h"
#include "profile.h"
#include "win32.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace cli; // the exit statuses

int Usage(const char* text) {
    std::fprintf(stderr, "orbis-cli: usage: orbis-cli %s\n", text);
    return kExitUsage;
}

} // namespace

// `file`: the target is a command file, not a printer port.
int cli::ReportResult(int result, const std::string& target, bool file) {
    switch (result) {
    case 0:
    case kQueryWriteOnly:
        return 0;
    case kOpenFailed:
        std::fprintf(stderr, "orbis-cli: cannot open %s (-1)%s\n", target.c_str(),
                     file ? "" : ": no printer answers on that port");
        return file ? kExitFile : kExitNoPrinter;
    case kQueryFailed:
        std::fprintf(stderr, "orbis-cli: the query on %s failed (-2)\n", target.c_str());
        return kExitCommunication;
    case kWriteFailed:
        if (file) {
            std::fprintf(stderr, "orbis-cli: writing the command file %s failed (-3)\n", target.c_str());
            return kExitFile;
        }
        std::fprintf(stderr,
                     "orbis-cli: writing to %s failed: the printer refused to go offline or a send "
                     "failed (-3)\n",
                     target.c_str());
        return kExitRefused;
    case kNotDelivered:
        std::fprintf(stderr, "orbis-cli: the settings for %s were written but did not reach the printer\n",
                     target.c_str());
        return kExitCommunication;
    case kChangeListFailed:
        std::fprintf(stderr, "orbis-cli: out of memory building the list of changes (-10)\n");
        return kExitFailure;
    default:
        std::fprintf(stderr, "orbis-cli: %s: unexpected result %d\n", target.c_str(), result);
        return kExitFailure;
    }
}

namespace {

int Report(int result, const std::string& target, bool file = false) {
    return ReportResult(result, target, file);
}

// Messages go to stderr; there is nobody to choose among several printers.
class ConsoleHost : public IWindowHost {
  public:
    int ShowMessage(bool, const std::string& text, const std::string& caption, MessageIcon,
                    MessageButtons) override {
        std::fprintf(stderr, "orbis-cli: %s: %s\n", caption.c_str(), text.c_str());
        return kIdOk;
    }
    std::string StatusText() override { return std::string(); }
    void SetStatusText(const std::string&) override {}
    void SetWaitCursor(bool) override {}
    bool SelectPrinter(const std::vector<std::string>& lines, std::string&) override {
        std::fprintf(stderr, "orbis-cli: several printers found; name the port:\n");
        for (const std::string& line : lines)
            std::fprintf(stderr, "  %s\n", line.c_str());
        return false;
    }
    int ShowPage(int, int, int) override { return 0; }
};

// Where a spooler entry came from: the "HostSource" mark the platform layer or
// the simulator left on it, "registry" for an entry somebody else made.
std::string SourceOf(const std::string& line) {
    size_t dash = line.find(" - ");
    if (dash == std::string::npos) return "registry";
    std::string key = std::string(kSpoolerPrintersKey) + "\\" + line.substr(dash + 3);
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "registry";
    char source[256] = {};
    DWORD size = sizeof source - 1, type = 0;
    LONG rc = RegQueryValueExA(h, "HostSource", nullptr, &type, reinterpret_cast<BYTE*>(source), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ || source[0] == 0) return "registry";
    return source;
}

int RunDevices(const std::vector<std::string>& args) {
    if (!args.empty()) return Usage("devices");
    StringMap printers;
    ConsoleHost host;
    DiscoverPrinters(printers, &host);
    std::vector<std::string> json;
    for (const auto& [line, port] : printers) {
        if (!JsonOutput()) {
            std::printf("%s [%s]\n", cli::Escaped(line).c_str(), cli::Escaped(SourceOf(line)).c_str());
            continue;
        }
        size_t dash = line.find(" - ");
        json.push_back(JsonObject()
                           .Text("port", port)
                           .Text("name", dash == std::string::npos ? std::string() : line.substr(dash + 3))
                           .Text("source", SourceOf(line))
                           .Json());
    }
    if (JsonOutput()) std::printf("%s\n", JsonArray(json).c_str());
    return 0;
}

int RunQuery(const std::vector<std::string>& args) {
    if (args.size() > 1) return Usage("query [PORT]");
    std::string port;
    if (args.empty()) {
        StringMap printers;
        ConsoleHost host;
        DiscoverPrinters(printers, &host);
        std::string selected;
        if (!SelectPrinter(printers, host, selected, port)) return kExitNoPrinter;
    } else {
        port = args[0];
        if (!cli::RequirePort("query", port)) return kExitUsage;
    }
    LoadNpaCatalogue();
    if (NpaReadCommands.empty()) {
        std::fprintf(stderr,
                     "orbis-cli: the catalogue %s has no \"NPA READ SETTING\" lines: nothing to ask\n",
                     CatalogueFile());
        return kExitFile;
    }
    StringMap values;
    int result = QueryPrinterSettings(port.c_str(), values);
    int exitCode = Report(result, port);
    if (exitCode == 0 && JsonOutput()) {
        JsonObject settings;
        for (const auto& [name, value] : values)
            if (!name.empty()) settings.Text(name, cli::ToTerminal(value));
        std::printf("%s\n", JsonObject()
                                .Text("port", port)
                                .Bool("write_only", result == kQueryWriteOnly)
                                .Raw("settings", settings.Json())
                                .Json()
                                .c_str());
    } else if (exitCode == 0) {
        if (result == kQueryWriteOnly) std::printf("write-only (catalogue defaults)\n");
        for (const auto& [name, value] : values)
            if (!name.empty())
                std::printf("%s=%s\n", cli::Escaped(name).c_str(),
                            cli::Escaped(cli::ToTerminal(value)).c_str());
    }
    if (exitCode == 0) {
        if (values.count(""))
            std::fprintf(stderr, "orbis-cli: the reply held identifiers the catalogue lacks\n");
    }
    ShutdownPrinterLink(port.c_str());
    return exitCode;
}

// NAME=VALUE arguments become NAME:VALUE items; false on an argument without "=".
bool Items(const std::vector<std::string>& args, std::vector<std::string>& items) {
    for (size_t i = 1; i < args.size(); ++i) {
        size_t eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            std::fprintf(stderr, "orbis-cli: expected NAME=VALUE, got '%s'\n", args[i].c_str());
            return false;
        }
        std::string value;
        if (!cli::FromTerminal(args[i].substr(0, eq), args[i].substr(eq + 1), value)) return false;
        items.push_back(args[i].substr(0, eq) + ":" + value);
    }
    return true;
}

// Every problem of a profile on stderr; the exit status: a file that is no profile, or
// values the catalogue does not allow.
int ProfileProblems(const std::string& path, const std::vector<ProfileProblem>& problems) {
    bool file = false;
    for (const ProfileProblem& problem : problems) {
        std::fprintf(stderr, "orbis-cli: %s: %s\n", cli::Escaped(path).c_str(),
                     cli::Escaped(DescribeProblem(problem)).c_str());
        file = file || problem.Kind == ProfileProblemKind::Unreadable ||
               problem.Kind == ProfileProblemKind::TooBig || problem.Kind == ProfileProblemKind::Binary ||
               problem.Kind == ProfileProblemKind::NotUtf8 ||
               problem.Kind == ProfileProblemKind::MissingEquals ||
               problem.Kind == ProfileProblemKind::NoModel;
    }
    std::fprintf(stderr, "orbis-cli: %s: nothing applied\n", cli::Escaped(path).c_str());
    return file ? kExitFile : kExitRefused;
}

int RunWrite(const std::vector<std::string>& args, bool file) {
    const char* usage =
        file ? "save FILE NAME=VALUE..." : "apply PORT NAME=VALUE... | apply PORT --from PROFILE";
    std::vector<std::string> items;
    if (!file && args.size() >= 2 && (args[1] == "--from" || args[1].rfind("--from=", 0) == 0)) {
        std::string path = args[1] == "--from" ? (args.size() == 3 ? args[2] : "") : args[1].substr(7);
        if (path.empty() || args.size() > (args[1] == "--from" ? 3u : 2u)) return Usage(usage);
        Profile profile;
        std::vector<ProfileProblem> problems;
        if (!ReadProfile(path, profile, problems)) return ProfileProblems(path, problems);
        for (const auto& [name, value] : profile.Values)
            items.push_back(name + ":" + value);
    } else if (args.size() < 2 || !Items(args, items)) {
        return Usage(usage);
    }
    if (!cli::ValuesFit(items)) return kExitRefused;
    int exitCode = 0;
    if (file)
        // A saved file is replaced only by a complete new one (a failure keeps the old one).
        exitCode = Report(SaveSettingsFile(args[0].c_str(), items), args[0], file);
    else
        exitCode = CheckedApply(args[0], items);
    DvcShutdown();
    return exitCode;
}
int RunApply(const std::vector<std::string>& args) {
    return RunWrite(args, false);
}
int RunSave(const std::vector<std::string>& args) {
    return RunWrite(args, true);
}

using Bytes = std::vector<unsigned char>;

const Bytes kNpaStart = {0xA5, 0x00, 0x10, 0x80, 0xA4, 0x5B, 0xA4, 0x5B, 0x10, 0xEF,
                         0xA4, 0x5B, 0x11, 0xEE, 0x00, 0xFF, 0x13, 0xEC, 0x2E};

// The file port clears the reply-requested bit, so commands are compared without it.
Bytes Normalised(Bytes bytes) {
    if (bytes.size() > 3) bytes[3] &= static_cast<unsigned char>(~0x10);
    return bytes;
}

bool IsOfflineOrOnline(const Bytes& p) {
    return p.size() == 9 && p[1] == 0x00 && p[2] == 0x06 && (p[3] & ~0x10) == 0x40 && p[4] == 0xE0 &&
           p[5] == 0xE7 && p[6] == 0x0C && p[7] <= 1 && p[8] == 0x00;
}

bool SameHeader(const Bytes& packet, const Bytes& templ) {
    if (templ.size() < 9 || packet.size() < 9) return false;
    for (size_t i = 3; i < 9; ++i)
        if ((i == 3 ? packet[i] & ~0x10 : packet[i]) != (i == 3 ? templ[i] & ~0x10 : templ[i])) return false;
    return true;
}

// NAME=VALUE of one command packet, by the catalogue's write tables; false when none fits.
bool DecodeCommand(const Bytes& packet, const std::map<Bytes, std::string>& exact, std::string& line) {
    auto found = exact.find(Normalised(packet));
    if (found != exact.end() && found->second.find(':') != std::string::npos) {
        line = found->second;
        line[line.find(':')] = '=';
        return true;
    }
    for (const auto& [name, command] : NpaWriteCommands) {
        const Bytes& templ = command.Bytes;
        if (name.find(':') != std::string::npos || !SameHeader(packet, templ)) continue;
        if (IsNpaTextSetting(name) && packet.size() >= templ.size() &&
            std::equal(templ.begin() + 9, templ.end(), packet.begin() + 9)) {
            line = name + "=" + std::string(packet.begin() + templ.size(), packet.end());
            return true;
        }
        if (IsNpaRangeSetting(name) && packet.size() == templ.size()) {
            if (templ.size() == 10) {
                line = name + "=" + std::to_string(packet[9]);
                return true;
            }
            if (templ.size() == 13) {
                uint32_t v = uint32_t(packet[9]) << 24 | uint32_t(packet[10]) << 16 |
                             uint32_t(packet[11]) << 8 | packet[12];
                line = name + "=" + std::to_string(static_cast<int32_t>(v));
                return true;
            }
        }
    }
    return false;
}

// Far more than a save of every setting writes (about a hundred commands of at
// most 512 bytes, each behind a 19-byte start packet); anything bigger is no command file.
constexpr size_t kMaxCommandFileBytes = 1 << 20;

// The whole file, read to at most the cap; false with a message for an unreadable
// input (a directory included) or an oversized one (an endless device included).
bool ReadCommandFile(const std::string& path, Bytes& bytes) {
    const std::string shown = cli::Escaped(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "orbis-cli: cannot read %s: %s\n", shown.c_str(), std::strerror(errno));
        return false;
    }
    unsigned char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(stderr, "orbis-cli: cannot read %s: %s\n", shown.c_str(), std::strerror(errno));
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > kMaxCommandFileBytes) {
            std::fprintf(stderr, "orbis-cli: %s is larger than any command file (more than %zu bytes)\n",
                         shown.c_str(), kMaxCommandFileBytes);
            ::close(fd);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return true;
}

} // namespace

bool cli::DecodeCommandFile(const std::string& path, std::vector<DecodedSetting>& settings,
                            std::vector<std::pair<size_t, size_t>>& gaps) {
    Bytes file;
    if (!ReadCommandFile(path, file)) return false;
    LoadNpaCatalogue();
    std::map<Bytes, std::string> exact;
    for (const auto& [key, command] : NpaWriteCommands)
        exact.emplace(Normalised(command.Bytes), key);
    auto unaccounted = [&](size_t from, size_t to) {
        gaps.push_back({from, to});
        std::fprintf(stderr, "orbis-cli: %s: bytes %zu to %zu (%zu) not accounted for: %s\n",
                     cli::Escaped(path).c_str(), from, to - 1, to - from,
                     HexString(file.data() + from, to - from).c_str());
    };
    size_t pos = 0;
    while (pos < file.size()) {
        size_t length =
            pos + 3 <= file.size() && file[pos] == 0xA5 ? (file[pos + 1] << 8 | file[pos + 2]) + 3 : 0;
        if (length == 0 || pos + length > file.size()) {
            unaccounted(pos, file.size()); // no packet structure from here on
            break;
        }
        Bytes packet(file.begin() + pos, file.begin() + pos + length);
        std::string line;
        if (packet == kNpaStart || IsOfflineOrOnline(packet)) {
            // framing, not a setting
        } else if (DecodeCommand(packet, exact, line)) {
            size_t eq = line.find('=');
            settings.push_back({line.substr(0, eq), line.substr(eq + 1)});
        } else {
            unaccounted(pos, pos + length);
        }
        pos += length;
    }
    return true;
}

namespace {

int RunDecode(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("decode FILE");
    std::vector<DecodedSetting> decoded;
    std::vector<std::pair<size_t, size_t>> gaps;
    if (!DecodeCommandFile(args[0], decoded, gaps)) return kExitFile;
    if (JsonOutput()) {
        Bytes file;
        ReadCommandFile(args[0], file);
        std::vector<std::string> settings, unaccounted;
        for (const DecodedSetting& d : decoded)
            settings.push_back(
                JsonObject().Text("name", d.name).Text("value", cli::ToTerminal(d.value)).Json());
        for (const auto& [from, to] : gaps)
            unaccounted.push_back(JsonObject()
                                      .Number("offset", static_cast<long long>(from))
                                      .Number("length", static_cast<long long>(to - from))
                                      .Text("hex", HexString(file.data() + from, to - from))
                                      .Json());
        std::printf("%s\n", JsonObject()
                                .Text("file", args[0])
                                .Raw("settings", JsonArray(settings))
                                .Raw("unaccounted", JsonArray(unaccounted))
                                .Json()
                                .c_str());
    } else {
        for (const DecodedSetting& d : decoded)
            std::printf("%s\n", cli::Escaped(cli::ToTerminal(d.name + "=" + d.value)).c_str());
    }
    return gaps.empty() ? 0 : kExitFindings;
}

} // namespace

ORBIS_CLI_COMMAND(devices, "devices",
                  " list the supported printers on LPT and USB ports, each with its source", RunDevices);
ORBIS_CLI_COMMAND(query, "query", "[PORT]  read every setting (NAME=VALUE, sorted)", RunQuery);
ORBIS_CLI_COMMAND(apply, "apply", "PORT NAME=VALUE...  write settings to the printer", RunApply);
ORBIS_CLI_COMMAND(save, "save", "FILE NAME=VALUE...  write settings into a command file", RunSave);
ORBIS_CLI_COMMAND(decode, "decode", "FILE  read a command file back as NAME=VALUE lines", RunDecode);
