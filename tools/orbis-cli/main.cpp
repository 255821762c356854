#include "cli.h"

#include "dvc.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

namespace cli {

static std::map<std::string, Command>& Commands() {
    static std::map<std::string, Command> commands;
    return commands;
}

bool Register(const Command& command) {
    Commands()[command.name] = command;
    return true;
}

void Fail(const std::string& operation, int code) {
    std::fprintf(stderr, "orbis-cli: %s failed: %s (%d)\n", operation.c_str(), DvcResultName(code), code);
}

bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes) {
    std::string digits;
    bool groupStart = true; // "0x" only opens a group: "10x0" is a typo, not 0x10
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            groupStart = true;
            continue;
        }
        if (groupStart && c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            ++i;
            groupStart = false;
            continue;
        }
        groupStart = false;
        if (c == ':' || c == '-') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

bool RequirePort(const char* command, const std::string& name) {
    if (name.rfind("LPT", 0) == 0 || name.rfind("USB", 0) == 0) return true;
    std::fprintf(stderr,
                 "orbis-cli: %s: '%s' is not a printer port (LPTn or USBnnn, upper case); %s never "
                 "opens a file\n",
                 command, Escaped(name).c_str(), command);
    return false;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace cli

static void Usage() {
    std::fprintf(stderr, "usage: orbis-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& [name, command] : cli::Commands())
        std::fprintf(stderr, "  %-10s %s\n", name.c_str(), command.usage);
}

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        Usage();
        return argc < 2 ? 2 : 0;
    }
    auto it = cli::Commands().find(argv[1]);
    if (it == cli::Commands().end()) {
        std::fprintf(stderr, "orbis-cli: unknown command '%s'\n", argv[1]);
        Usage();
        return 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    return it->second.run(args);
}
