// probe: opens a port and tells what the library found there: the printer's
// device ID, whether it belongs to the family, its NPA mode, and whether the
// port runs write-only.
#include "cli.h"
#include "cli_exit.h"
#include "cli_json.h"

#include "dvc.h"
#include "dvc_internal.h"

#include <cstdio>
#include <string>

namespace {

const char* ModeName(int mode) {
    switch (mode) {
    case NPA_OFF:
        return "NPA_OFF";
    case NPA_AUTO:
        return "NPA_AUTO";
    case NPA_ON:
        return "NPA_ON";
    }
    return "?";
}

int Probe(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: orbis-cli probe PORT\n");
        return 2;
    }
    if (!cli::RequirePort("probe", args[0])) return 2;
    const char* port = args[0].c_str();
    int rc = DvcOpenPort(port);
    if (!cli::JsonOutput()) std::printf("port: %s\nopen: %s (%d)\n", port, DvcResultName(rc), rc);
    if (rc != DVC_OK && rc != DVC_OPEN_UNIDIRECTIONAL) {
        cli::Fail(std::string("DvcOpenPort(") + port + ")", rc);
        DvcShutdown();
        return cli::FailureStatus();
    }
    bool unidirectional = G_bUnidirectional;
    std::string commandFile = G_szCommandFile;
    if (cli::JsonOutput()) {
        const char* marker = ParFamilyMarker(G_szDeviceId);
        std::printf("%s\n", cli::JsonObject()
                                .Text("port", port)
                                .Text("open", DvcResultName(rc))
                                .Number("open_code", rc)
                                .Raw("device_id", G_szDeviceId[0] ? cli::JsonString(G_szDeviceId) : "null")
                                .Raw("family_marker", marker ? cli::JsonString(marker) : "null")
                                .Text("npa_mode", ModeName(G_NpaMode))
                                .Bool("unidirectional", unidirectional)
                                .Json()
                                .c_str());
    } else {
        std::printf("device id: %s\n", G_szDeviceId[0] ? cli::Escaped(G_szDeviceId).c_str() : "(none read)");
        if (const char* marker = ParFamilyMarker(G_szDeviceId))
            std::printf("family: Orbis LP 2200 (marker \"%s\")\n", marker);
        else if (unidirectional)
            std::printf("family: not checked (the port is never read)\n");
        else
            std::printf("family: (none)\n");
        std::printf("npa mode: %s (%d)\n", ModeName(G_NpaMode), G_NpaMode);
        std::printf("unidirectional: %s\n", unidirectional ? "yes" : "no");
    }
    DvcClosePort(port);
    // Nothing was collected: the empty command file of the workaround goes.
    if (unidirectional && !commandFile.empty()) _unlink(commandFile.c_str());
    DvcShutdown();
    return 0;
}

} // namespace

ORBIS_CLI_COMMAND(probe, "probe", "PORT  open PORT and show device ID, family, NPA mode, write-only or not",
                  Probe);
