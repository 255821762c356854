// Port subcommands: send commands and show replies, take the printer offline or
// online, write a whole settings sequence, and set the library's logging level.
#include "cli.h"
#include "cli_exit.h"

#include "dvc.h"
#include "dvc_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Commands = std::vector<std::vector<unsigned char>>;

// Hex arguments are checked before the port is touched, so a typo sends nothing.
bool ParseCommands(const std::vector<std::string>& args, size_t first, Commands& commands) {
    for (size_t i = first; i < args.size(); ++i) {
        std::vector<unsigned char> bytes;
        if (!cli::ParseHex(args[i], bytes)) {
            std::fprintf(stderr, "orbis-cli: bad hex command '%s'\n", args[i].c_str());
            return false;
        }
        if (bytes.size() > 0xFFFF) {
            std::fprintf(stderr, "orbis-cli: command %zu is longer than 65535 bytes\n", i - first + 1);
            return false;
        }
        commands.push_back(std::move(bytes));
    }
    return true;
}

std::string Op(const char* operation, const std::string& port) {
    return std::string(operation) + "(" + port + ")";
}

// DVC_OPEN_UNIDIRECTIONAL is an open port too: commands are collected and
// copied to the printer when the port closes.
bool Opened(int rc) {
    return rc == DVC_OK || rc == DVC_OPEN_UNIDIRECTIONAL;
}

// Every subcommand ends the same way, whatever happened before.
int Finish(const std::string& port, bool ok) {
    int rc = DvcClosePort(port.c_str());
    if (rc != DVC_OK) {
        cli::Fail(Op("DvcClosePort", port), rc);
        ok = false;
    }
    DvcShutdown();
    return ok ? 0 : cli::FailureStatus();
}

void PrintHex(const unsigned char* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        std::printf("%s%02X", i ? " " : "", bytes[i]);
    std::printf("\n");
}

int RunSend(const std::vector<std::string>& args) {
    Commands commands;
    if (args.size() < 2 || !ParseCommands(args, 1, commands)) {
        if (args.size() < 2) std::fprintf(stderr, "usage: orbis-cli send PORT HEX...\n");
        return 2;
    }
    const std::string& port = args[0];
    int rc = DvcOpenPort(port.c_str());
    if (!Opened(rc)) {
        cli::Fail(Op("DvcOpenPort", port), rc);
        return Finish(port, false);
    }
    // A file port and the collecting workaround never produce a reply.
    const bool replies = rc == DVC_OK && (port.rfind("LPT", 0) == 0 || port.rfind("USB", 0) == 0);
    bool ok = true;
    for (const auto& command : commands) {
        unsigned char reply[2048];
        uint32_t replyLength = sizeof reply;
        rc = DvcSendCommand(port.c_str(), command.data(), static_cast<uint16_t>(command.size()), reply,
                            &replyLength);
        std::printf("DvcSendCommand: %s (%d)\n", DvcResultName(rc), rc);
        if (rc != DVC_OK) {
            cli::Fail(Op("DvcSendCommand", port), rc);
            ok = false;
            continue;
        }
        if (!replies) {
            std::printf("reply: none (commands are only collected on this port)\n");
        } else {
            if (replyLength > sizeof reply) replyLength = sizeof reply;
            std::printf("reply (%u bytes): ", static_cast<unsigned>(replyLength));
            PrintHex(reply, replyLength);
        }
    }
    return Finish(port, ok);
}

int RunOffline(const std::vector<std::string>& args, bool offline) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: orbis-cli %s PORT\n", offline ? "offline" : "online");
        return 2;
    }
    const std::string& port = args[0];
    if (!cli::RequirePort(offline ? "offline" : "online", port)) return 2;
    int rc = DvcOpenPort(port.c_str());
    if (!Opened(rc)) {
        cli::Fail(Op("DvcOpenPort", port), rc);
        return Finish(port, false);
    }
    rc = DvcOffline(port.c_str(), offline);
    if (rc != DVC_OK) cli::Fail(Op("DvcOffline", port + (offline ? ", offline" : ", online")), rc);
    return Finish(port, rc == DVC_OK);
}

int RunWrite(const std::vector<std::string>& args) {
    Commands commands;
    if (args.size() < 1 || !ParseCommands(args, 1, commands)) {
        if (args.empty()) std::fprintf(stderr, "usage: orbis-cli write PORT HEX...\n");
        return 2;
    }
    const std::string& port = args[0];
    int rc = DvcOpenPort(port.c_str());
    if (!Opened(rc)) {
        cli::Fail(Op("DvcOpenPort", port), rc);
        return Finish(port, false);
    }
    rc = DvcOffline(port.c_str(), true);
    if (rc != DVC_OK) {
        cli::Fail(Op("DvcOffline", port + ", offline"), rc);
        return Finish(port, false);
    }
    bool ok = true;
    for (size_t i = 0; i < commands.size() && ok; ++i) {
        rc = DvcSendCommand(port.c_str(), commands[i].data(), static_cast<uint16_t>(commands[i].size()),
                            nullptr, nullptr);
        if (rc != DVC_OK) {
            cli::Fail(Op("DvcSendCommand", port + ", command " + std::to_string(i + 1)), rc);
            ok = false;
        }
    }
    // Back online even after a failed command: the printer must not stay offline.
    rc = DvcOffline(port.c_str(), false);
    if (rc != DVC_OK) {
        cli::Fail(Op("DvcOffline", port + ", online"), rc);
        ok = false;
    }
    if (ok) std::printf("wrote %zu command(s) to %s\n", commands.size(), port.c_str());
    return Finish(port, ok);
}

int RunLogLevel(const std::vector<std::string>& args) {
    uint32_t level = 0;
    if (args.size() != 1 || !cli::ParseLevel(args[0], level)) {
        std::fprintf(stderr, "usage: orbis-cli log-level N   (N decimal or 0x hex, 0 to 0xFFFFFFFF)\n");
        return 2;
    }
    const char* keyName = "SOFTWARE\\VANTREL\\VANDVC";
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS) {
        DWORD disposition = 0;
        char noClass[1] = "";
        rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, &disposition);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "orbis-cli: RegCreateKeyExA(HKEY_LOCAL_MACHINE\\%s) failed: error %ld\n",
                         keyName, static_cast<long>(rc));
            DvcShutdown();
            return 1;
        }
        // Same access list the library gives the key it creates itself.
        DvcApplyKeySecurity(key);
    }
    DWORD value = level;
    rc = RegSetValueExA(key, "LoggingLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "orbis-cli: RegSetValueExA(LoggingLevel) failed: error %ld\n",
                     static_cast<long>(rc));
        DvcShutdown();
        return 1;
    }
    std::printf("LoggingLevel = 0x%X\n", static_cast<unsigned>(level));
    DvcShutdown();
    return 0;
}

int RunOfflineCommand(const std::vector<std::string>& args) {
    return RunOffline(args, true);
}
int RunOnlineCommand(const std::vector<std::string>& args) {
    return RunOffline(args, false);
}

} // namespace

ORBIS_CLI_COMMAND(send, "send", "PORT HEX...  send each command, print result and reply", RunSend);
ORBIS_CLI_COMMAND(offline, "offline", "PORT  take the printer offline", RunOfflineCommand);
ORBIS_CLI_COMMAND(online, "online", "PORT  bring the printer back online", RunOnlineCommand);
ORBIS_CLI_COMMAND(write, "write", "PORT HEX...  offline, each command without reply, online (as Save does)",
                  RunWrite);
ORBIS_CLI_COMMAND(logLevel, "log-level", "N  set the library's LoggingLevel (decimal or 0x hex)",
                  RunLogLevel);
