#include "cli.h"

#include "cli_exit.h"
#include "dvc.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace cli {

std::map<std::string, Command>& Commands() {
    static std::map<std::string, Command> commands;
    return commands;
}

bool Register(const Command& command) {
    Commands()[command.name] = command;
    return true;
}

void Fail(const std::string& operation, int code) {
    // The operation reads "DvcXxx(PORT...)"; a port not named LPT or USB is a file.
    size_t open = operation.find('(');
    std::string port = open == std::string::npos ? std::string() : operation.substr(open + 1, 3);
    bool file = port != "LPT" && port != "USB";
    NoteFailure(file ? kExitFile : ExitForDvc(code, operation.rfind("DvcOpenPort", 0) == 0));
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
