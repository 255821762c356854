// The console's one text edge: arguments are UTF-8 as the terminal gives them,
// values are code-page-949 bytes as the printer and command files hold them.
#include "cli.h"

#include "win32.h"

#include <cstdio>
#include <vector>

namespace cli {

namespace {

std::vector<WCHAR> Wide(UINT codePage, DWORD flags, const std::string& bytes) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    std::vector<WCHAR> wide(size_t(n > 0 ? n : 0));
    if (n > 0) MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), wide.data(), n);
    return wide;
}

std::string Narrow(UINT codePage, const WCHAR* wide, size_t count, BOOL* usedDefault) {
    if (count == 0) return {};
    int n = WideCharToMultiByte(codePage, 0, wide, int(count), nullptr, 0, nullptr, usedDefault);
    std::string bytes(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, wide, int(count), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

} // namespace

bool FromTerminal(const std::string& what, const std::string& utf8, std::string& ansi) {
    std::vector<WCHAR> wide = Wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (wide.empty() && !utf8.empty()) {
        std::fprintf(stderr, "orbis-cli: %s: '%s' is not UTF-8 text\n", what.c_str(), utf8.c_str());
        return false;
    }
    for (size_t i = 0; i < wide.size();) {
        size_t n = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() ? 2 : 1;
        BOOL lacking = FALSE;
        Narrow(CP_ACP, &wide[i], n, &lacking);
        if (lacking) {
            unsigned code =
                n == 2 ? 0x10000u + ((wide[i] - 0xD800u) << 10) + (wide[i + 1] - 0xDC00u) : wide[i];
            std::fprintf(stderr,
                         "orbis-cli: %s: '%s' cannot be sent: code page 949 has no character U+%04X ('%s')\n",
                         what.c_str(), utf8.c_str(), code, Narrow(CP_UTF8, &wide[i], n, nullptr).c_str());
            return false;
        }
        i += n;
    }
    ansi = Narrow(CP_ACP, wide.data(), wide.size(), nullptr);
    return true;
}

std::string ToTerminal(const std::string& ansi) {
    std::vector<WCHAR> wide = Wide(CP_ACP, 0, ansi);
    return Narrow(CP_UTF8, wide.data(), wide.size(), nullptr);
}

} // namespace cli
