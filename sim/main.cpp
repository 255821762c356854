// orbis-printer-sim: the Orbis LP 2200 on simulated parallel and USB ports.
#include "activity_log.h"
#include "behaviour.h"
#include "control.h"
#include "engine.h"
#include "port_server.h"
#include "registry_entries.h"

#include "orbis_platform.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <unistd.h>

using namespace orbis::sim;

namespace {

const char kUsage[] = R"USAGE(usage: orbis-printer-sim [options]
The Orbis LP 2200 as seen from its ports. Attaches to a root (ORBIS_ROOT), serves
its ports until SIGINT or SIGTERM, then detaches (the spooler entry stays).

Attachment:
  --root DIR            root to attach to (default: $ORBIS_ROOT, else the platform default)
  --lpt N               attach to parallel port LPTn (repeatable)
  --usb N               attach to USB port USB00n (repeatable)
  --other-usb N         also present a USB device that is no printer (repeatable)
  --name NAME           spooler printer name (default "Orbis LP 2200" on LPT1, else "Orbis LP 2200 (PORT)")
  --driver NAME         spooler driver name (default "Orbis LP 2200 PCL")
  --no-spooler          write no spooler entry
  --serial TEXT         USB serial segment (default O2200U00n; "" for none)
  --model TEXT          MODEL of the device ID (default "Orbis LP 2200")
  --marker M            family marker in the device ID: vantrel (default), VNPAP, vnpap, Vnpap,
                        npap-comma, npap-semicolon, CPDNPA00, cpdnpa00, Cpdnpa00, CPDNPA001;
                        foreign printers: npap-nospace, foreign
  --device-id TEXT      the whole device ID, instead of --marker and --model
  --nvram FILE          settings memory (default ROOT/sim/<first port>.nvram)
  --ready-file PATH     written once every port is attached (also "ready" on stdout)

Behaviour:
  --npa-mode M          answer to the PJL inquiry: auto (default), off, on, silent,
                        pjl-on (text with only ON), bad-packet (A5 00 02 80 01)
  --chain N             chain replies, at most N data bytes per packet
  --stray N             N garbage bytes before each reply
  --foreign-first       a reply to another command before each reply
  --unsolicited-first   an unsolicited error packet before each reply
  --command-errors      answer every command with a command error
  --refuse-offline      refuse to go offline
  --refuse-online       refuse to go online
  --alert-first         send the offline/online alert before the reply
  --silent              answer nothing
  --text-memory N       refuse (silently, as any write) texts longer than N bytes
  --number-max N        refuse numbers above N (a setting's off/none values still taken)
  --delay MS            wait before each answer
  --pieces LIST         cut the output into pieces of these sizes, cycled, e.g. 1,7,31,32,random
  --piece-delay MS      wait between pieces
  --drop-after N        drop a connection once N bytes went out on it
  --seed N              seed for random piece sizes
  --control PATH        control socket: each line of behaviour options sent to it
                        replaces those given at start (an empty line restores them);
                        answered "ok" or "error: ..."; the line "state" is
                        answered "offline" or "online"

Log:
  --log FILE            activity log (default stderr)
  --verbose N           0 nothing, 1 commands (default), 2 details, 3 byte dumps
  --help
)USAGE";

std::string PortName(const char* prefix, int n, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s%0*d", prefix, width, n);
    return buffer;
}

} // namespace

int main(int argc, char** argv) {
    std::string root, name, driver = "Orbis LP 2200 PCL", model = "Orbis LP 2200", marker = "vantrel";
    std::string deviceId, nvram, readyFile, logFile, serial;
    bool serialGiven = false, spooler = true;
    int verbosity = 1;
    std::vector<int> lpts, usbs, others;
    Behaviour behaviour;
    EngineOptions& engineOptions = behaviour.engine;
    std::string controlPath;
    const std::vector<std::string> args(argv, argv + argc);

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        size_t at = size_t(i);
        std::string bad;
        if (TakeBehaviourOption(args, &at, &behaviour, &bad)) {
            if (!bad.empty()) {
                std::cerr << "orbis-printer-sim: " << bad << "\n";
                return 2;
            }
            i = int(at);
            continue;
        }
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "orbis-printer-sim: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        auto number = [&]() -> int {
            std::string v = value();
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 0) {
                std::cerr << "orbis-printer-sim: " << a << " needs a number, not \"" << v << "\"\n";
                std::exit(2);
            }
            return int(n);
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--root")
            root = value();
        else if (a == "--lpt")
            lpts.push_back(number());
        else if (a == "--usb")
            usbs.push_back(number());
        else if (a == "--other-usb")
            others.push_back(number());
        else if (a == "--name")
            name = value();
        else if (a == "--driver")
            driver = value();
        else if (a == "--no-spooler")
            spooler = false;
        else if (a == "--serial")
            serial = value(), serialGiven = true;
        else if (a == "--model")
            model = value();
        else if (a == "--marker")
            marker = value();
        else if (a == "--device-id")
            deviceId = value();
        else if (a == "--nvram")
            nvram = value();
        else if (a == "--ready-file")
            readyFile = value();
        else if (a == "--control")
            controlPath = value();
        else if (a == "--log")
            logFile = value();
        else if (a == "--verbose")
            verbosity = number();
        else {
            std::cerr << "orbis-printer-sim: unknown option " << a << " (see --help)\n";
            return 2;
        }
    }
    if (lpts.empty() && usbs.empty() && others.empty()) {
        std::cerr << "orbis-printer-sim: nothing to attach; give --lpt N and/or --usb N (see --help)\n";
        return 2;
    }
    if (!root.empty()) ::setenv("ORBIS_ROOT", root.c_str(), 1);
    root = orbis::platform::Root();
    if (root.empty()) return 2; // the platform layer has said why the root is refused

    if (deviceId.empty()) deviceId = MakeDeviceId(marker, model);
    if (deviceId.empty()) {
        std::cerr << "orbis-printer-sim: unknown marker \"" << marker << "\"\n";
        return 2;
    }
    ActivityLog log(logFile, verbosity);
    if (!log.Ok()) {
        std::cerr << "orbis-printer-sim: cannot open log " << logFile << "\n";
        return 2;
    }

    std::vector<PortAttachment> attachments;
    std::vector<UsbIdentity> usbIds;
    for (int n : lpts)
        attachments.push_back({PortName("LPT", n, 1), "lpt", {}, ""});
    for (size_t k = 0; k < usbs.size(); ++k) {
        std::string s = serialGiven ? serial : PortName("O2200U", usbs[k], 3);
        if (serialGiven && k > 0 && !serial.empty()) s += "-" + std::to_string(k + 1);
        UsbIdentity id = MakeUsbIdentity(usbs[k], s);
        usbIds.push_back(id);
        attachments.push_back({PortName("USB", usbs[k], 3), "usb", {id.printerPath, id.devicePath}, ""});
    }
    for (int n : others)
        attachments.push_back({PortName("USBDEV", n, 3),
                               "usb-other",
                               {OtherDevicePath(n)},
                               "MFG:Logitech;MDL:USB Receiver;CLS:HID;"});
    if (nvram.empty()) nvram = root + "/sim/" + attachments.front().port + ".nvram";
    engineOptions.nvramPath = nvram;
    engineOptions.deviceId = deviceId;
    engineOptions.log = [&log](int level, const std::string& line) { log.Write(level, "engine", line); };

    // Signals are taken by sigwait below, never by a serving thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Engine engine(engineOptions);
    PortServer server(engine, behaviour.transport, root, log);
    ControlServer control;
    const Behaviour initial = behaviour; // what the control socket starts every line from
    int status = 0;
    std::string error;
    for (const auto& attachment : attachments)
        if (!server.Attach(attachment, &error)) {
            std::cerr << "orbis-printer-sim: " << error << "\n";
            status = 1;
            break;
        }
    size_t registered = 0;
    if (status == 0) {
        for (const auto& attachment : attachments) {
            if (attachment.kind == "usb-other" || !spooler) continue;
            std::string printer = !name.empty()               ? name
                                  : attachment.port == "LPT1" ? model
                                                              : model + " (" + attachment.port + ")";
            if (!name.empty() && attachments.size() > 1) printer += " (" + attachment.port + ")";
            if (!WriteSpoolerEntry(printer, driver, attachment.port, &error)) {
                std::cerr << "orbis-printer-sim: " << error << "\n";
                status = 1;
                break;
            }
            log.Write(1, attachment.port, "spooler entry \"" + printer + "\", driver \"" + driver + "\"");
        }
        for (; status == 0 && registered < usbIds.size(); ++registered)
            if (!RegisterUsbInterfaces(usbIds[registered], &error)) {
                std::cerr << "orbis-printer-sim: " << error << "\n";
                status = 1;
            }
    }
    if (status == 0) {
        log.Write(1, "printer", "device ID " + deviceId + "; settings in " + nvram);
        // Every control line replaces the faults given at start by that line's options.
        auto apply = [&](const std::string& line) -> std::string {
            if (line == "state") return engine.IsOffline() ? "offline" : "online";
            Behaviour next = initial;
            std::vector<std::string> words = Words(line);
            for (size_t at = 0; at < words.size(); ++at) {
                std::string bad;
                if (!TakeBehaviourOption(words, &at, &next, &bad))
                    return "error: unknown option " + words[at];
                if (!bad.empty()) return "error: " + bad;
            }
            engine.SetBehaviour(next.engine);
            server.SetOptions(next.transport);
            log.Write(1, "printer", "behaviour now: " + (line.empty() ? std::string("as started") : line));
            return "ok";
        };
        if (!controlPath.empty() && !control.Start(controlPath, apply, &error)) {
            std::cerr << "orbis-printer-sim: " << error << "\n";
            status = 1;
        }
    }
    if (status == 0) {
        if (!readyFile.empty()) {
            std::string temp = readyFile + ".tmp";
            std::ofstream(temp) << ::getpid() << "\n";
            std::rename(temp.c_str(), readyFile.c_str());
        }
        std::cout << "ready" << std::endl;
        int signal = 0;
        sigwait(&signals, &signal);
        log.Write(1, "printer", std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    }
    control.Stop();
    server.Stop();
    for (size_t k = 0; k < registered && k < usbIds.size(); ++k)
        UnregisterUsbInterfaces(usbIds[k]);
    return status;
}
