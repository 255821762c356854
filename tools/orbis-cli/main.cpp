#include "cli.h"

#include "dvc.h"
#include "orbis_platform.h"

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
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c)) || c == ':' || c == '-') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
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
    int status = it->second.run(args);
    // A printer the system refused says why; the library only has its error codes.
    if (status != 0 && !orbis::platform::HostDeviceProblem().empty())
        std::fprintf(stderr, "orbis-cli: %s\n", orbis::platform::HostDeviceProblem().c_str());
    return status;
}
