// The printers CUPS has, asked with one CUPS-Get-Printers request. libcups is
// loaded at run time, as SETUPAPI.DLL is on Windows: a machine without it just
// has no CUPS printers.
#include "host_devices.h"
#include "paths.h"

#include <chrono>
#include <dlfcn.h>
#include <unistd.h>

#if __has_include(<cups/cups.h>)
#include <cups/cups.h>
#define ORBIS_HAVE_CUPS_HEADERS 1
#endif

namespace orbis::platform {

#ifdef ORBIS_HAVE_CUPS_HEADERS

namespace {

struct CupsLibrary {
    decltype(&httpConnect2) connect = nullptr;
    decltype(&httpSetTimeout) setTimeout = nullptr;
    decltype(&httpClose) close = nullptr;
    decltype(&cupsSetPasswordCB2) setPasswordCallback = nullptr;
    decltype(&cupsServer) server = nullptr;
    decltype(&ippPort) port = nullptr;
    decltype(&cupsDoRequest) doRequest = nullptr;
    decltype(&ippNewRequest) newRequest = nullptr;
    decltype(&ippAddStrings) addStrings = nullptr;
    decltype(&ippDelete) deleteMessage = nullptr;
    decltype(&ippGetStatusCode) statusCode = nullptr;
    decltype(&ippFirstAttribute) firstAttribute = nullptr;
    decltype(&ippNextAttribute) nextAttribute = nullptr;
    decltype(&ippGetGroupTag) groupTag = nullptr;
    decltype(&ippGetName) name = nullptr;
    decltype(&ippGetString) getString = nullptr;
};

template <typename T> bool Resolve(void* module, const char* symbol, T* out) {
    *out = reinterpret_cast<T>(dlsym(module, symbol));
    return *out != nullptr;
}

// Null when libcups is missing or lacks an entry point; loaded once, never unloaded.
const CupsLibrary* Cups() {
    static const CupsLibrary* library = []() -> const CupsLibrary* {
        void* module = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!module) return nullptr;
        static CupsLibrary l;
        bool ok = Resolve(module, "httpConnect2", &l.connect) &&
                  Resolve(module, "httpSetTimeout", &l.setTimeout) &&
                  Resolve(module, "httpClose", &l.close) &&
                  Resolve(module, "cupsSetPasswordCB2", &l.setPasswordCallback) &&
                  Resolve(module, "cupsServer", &l.server) && Resolve(module, "ippPort", &l.port) &&
                  Resolve(module, "cupsDoRequest", &l.doRequest) &&
                  Resolve(module, "ippNewRequest", &l.newRequest) &&
                  Resolve(module, "ippAddStrings", &l.addStrings) &&
                  Resolve(module, "ippDelete", &l.deleteMessage) &&
                  Resolve(module, "ippGetStatusCode", &l.statusCode) &&
                  Resolve(module, "ippFirstAttribute", &l.firstAttribute) &&
                  Resolve(module, "ippNextAttribute", &l.nextAttribute) &&
                  Resolve(module, "ippGetGroupTag", &l.groupTag) && Resolve(module, "ippGetName", &l.name) &&
                  Resolve(module, "ippGetString", &l.getString);
        if (!ok) {
            dlclose(module);
            return nullptr;
        }
        return &l;
    }();
    return library;
}

using Clock = std::chrono::steady_clock;

// Nobody is there to type a password; a server that wants one gets none.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

// Called each time a wait for the server runs out; 0 gives up.
int BeforeDeadline(http_t*, void* deadline) {
    return Clock::now() < *static_cast<Clock::time_point*>(deadline) ? 1 : 0;
}

std::vector<CupsPrinter> PrintersOf(const CupsLibrary& cups, ipp_t* response) {
    std::vector<CupsPrinter> printers;
    ipp_attribute_t* attr = cups.firstAttribute(response);
    while (attr) {
        while (attr && cups.groupTag(attr) != IPP_TAG_PRINTER)
            attr = cups.nextAttribute(response);
        if (!attr) break;
        CupsPrinter printer;
        // A printer's attributes run up to the next group separator.
        for (; attr && cups.groupTag(attr) == IPP_TAG_PRINTER; attr = cups.nextAttribute(response)) {
            const char* name = cups.name(attr);
            const char* text = cups.getString(attr, 0, nullptr);
            if (!name || !text) continue;
            std::string key = name;
            if (key == "printer-name")
                printer.name = text;
            else if (key == "printer-make-and-model")
                printer.makeAndModel = text;
            else if (key == "device-uri")
                printer.deviceUri = text;
        }
        if (!printer.name.empty()) printers.push_back(std::move(printer));
    }
    return printers;
}

// The scheduler on this machine: its domain socket, a loopback name, or this host's
// own name. Another machine's queues print to that machine's devices.
bool IsLocalServer(const std::string& host) {
    if (host.empty()) return false;
    if (host[0] == '/') return true;
    std::string name = UpperAscii(host);
    char self[256] = {};
    if (::gethostname(self, sizeof self - 1) == 0 && name == UpperAscii(self)) return true;
    return name == "LOCALHOST" || name == "LOCALHOST.LOCALDOMAIN" || name == "::1" || name == "[::1]" ||
           name.rfind("127.", 0) == 0;
}

} // namespace

std::optional<std::vector<CupsPrinter>> QueryCupsPrinters(const HostSources& sources) {
    const CupsLibrary* cups = Cups();
    if (!cups) return std::nullopt;
    cups->setPasswordCallback(NoPassword, nullptr);

    // A path is the server's domain socket; libcups ignores the port then.
    std::string host = sources.cupsServer;
    int port = sources.cupsPort;
    if (host.empty()) {
        const char* server = cups->server();
        host = server ? server : "";
        port = cups->port();
    }
    if (host.empty()) return std::nullopt;
    // A remote server's usb:// and parallel: queues are not this machine's ports.
    if (!IsLocalServer(host)) return std::vector<CupsPrinter>();

    int timeoutMs = sources.cupsTimeoutMs > 0 ? sources.cupsTimeoutMs : 2000;
    http_t* http = cups->connect(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                 timeoutMs, nullptr);
    if (!http) return std::nullopt;
    // Waits are cut into short slices so the whole request ends close to its deadline.
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    cups->setTimeout(http, (timeoutMs < 250 ? timeoutMs : 250) / 1000.0, BeforeDeadline, &deadline);

    ipp_t* request = cups->newRequest(IPP_OP_CUPS_GET_PRINTERS);
    static const char* const kWanted[] = {"printer-name", "printer-make-and-model", "device-uri"};
    cups->addStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                     sizeof kWanted / sizeof kWanted[0], nullptr, kWanted);
    ipp_t* response = cups->doRequest(http, request, "/"); // frees the request
    cups->close(http);
    if (!response) return std::nullopt;

    std::optional<std::vector<CupsPrinter>> printers;
    ipp_status_t status = cups->statusCode(response);
    // CUPS answers "not found" when it has no printers at all.
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        printers.emplace();
    else if (status <= IPP_STATUS_OK_CONFLICTING)
        printers = PrintersOf(*cups, response);
    cups->deleteMessage(response);
    return printers;
}

#else // no libcups headers at build time: no CUPS source

std::optional<std::vector<CupsPrinter>> QueryCupsPrinters(const HostSources&) {
    return std::nullopt;
}

#endif

} // namespace orbis::platform
