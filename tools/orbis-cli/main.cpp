#include "cli.h"

#include "cli_exit.h"
#include "dvc.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
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

// Decimal or 0x hex, 0 to 0xFFFFFFFF; no sign, nothing behind.
bool ParseLevel(const std::string& text, uint32_t& level) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) return false;
    level = static_cast<uint32_t>(value);
    return true;
}

} // namespace cli
