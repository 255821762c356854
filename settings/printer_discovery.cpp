#include "printer_discovery.h"

#include "res/strings.h"
#include "win32.h"

#include <cstring>
#include <vector>

namespace {

constexpr DWORD kValueBufferSize = 256;
constexpr DWORD kSectionBufferSize = 32767;

bool EqualIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 'a' + 'A') : *a;
        char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

// Reads a string value into a 256-byte buffer (emptied first); "" when absent.
std::string ReadValue(HKEY key, const char* name) {
    char buffer[kValueBufferSize + 1] = {0};
    DWORD size = kValueBufferSize;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size) != ERROR_SUCCESS)
        return std::string();
    buffer[kValueBufferSize] = '\0';
    return std::string(buffer);
}

bool IsSupportedDriver(const std::string& driver) {
    // Read afresh for each printer, as the catalogue may name several drivers.
    std::vector<char> section(kSectionBufferSize, '\0');
    DWORD count =
        GetPrivateProfileSectionA("DriverNames", section.data(), kSectionBufferSize, CatalogueFile());
    const char* p = section.data();
    const char* end = section.data() + (count < kSectionBufferSize ? count : kSectionBufferSize - 1);
    while (p < end && *p) {
        if (EqualIgnoringCase(p, driver.c_str())) return true;
        p += std::strlen(p) + 1;
    }
    return false;
}

int ShowStop(IWindowHost* host, unsigned text, unsigned caption) {
    return host ? host->ShowMessage(false, LoadStringText(text), LoadStringText(caption), MessageIcon::Stop,
                                    MessageButtons::Ok)
                : kIdOk;
}

} // namespace

void DiscoverPrinters(StringMap& printers, IWindowHost* host) {
    printers.clear();
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSpoolerPrintersKey, 0, KEY_READ, &root) != ERROR_SUCCESS) {
        ShowStop(host, IDS_NO_PRINTER_KEY, IDS_NO_PRINTER_KEY_CAPTION);
        return;
    }
    DWORD subkeys = 0, longest = 0;
    if (RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        subkeys = 0;
    std::vector<char> name(longest + 1, '\0');
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD length = longest + 1;
        if (RegEnumKeyExA(root, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        HKEY printer = nullptr;
        if (RegOpenKeyExA(root, name.data(), 0, KEY_READ, &printer) != ERROR_SUCCESS) continue;
        std::string driver = ReadValue(printer, "Printer Driver");
        if (!driver.empty() && IsSupportedDriver(driver)) {
            std::string port = ReadValue(printer, "Port");
            if (port.compare(0, 3, "LPT") == 0 || port.compare(0, 3, "USB") == 0)
                printers[port + " - " + ReadValue(printer, "Name")] = port;
        }
        RegCloseKey(printer);
    }
    RegCloseKey(root);
}

bool SelectPrinter(const StringMap& printers, IWindowHost& host, std::string& selectedPrinter,
                   std::string& portName) {
    if (printers.empty()) {
        ShowStop(&host, IDS_NO_PRINTER, IDS_NO_PRINTER_CAPTION);
        return false;
    }
    if (printers.size() == 1) {
        selectedPrinter = printers.begin()->first;
        portName = printers.begin()->second;
        return true;
    }
    std::vector<std::string> lines;
    for (const auto& [line, port] : printers)
        lines.push_back(line);
    std::string chosen;
    if (!host.SelectPrinter(lines, chosen)) return false;
    selectedPrinter = chosen;
    auto found = printers.find(chosen);
    if (found == printers.end()) {
        ShowStop(&host, IDS_NO_PORT, IDS_NO_PORT_CAPTION);
        return false;
    }
    portName = found->second;
    return true;
}
