// The console's one text edge: arguments are UTF-8 as the terminal gives them,
// values are code-page-949 bytes as the printer and command files hold them.
#include "cli.h"

#include "code_page_text.h"
#include "win32.h"

#include <cstdio>
#include <vector>

namespace cli {

bool FromTerminal(const std::string& what, const std::string& utf8, std::string& ansi) {
    std::vector<WCHAR> wide = WideText(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (wide.empty() && !utf8.empty()) {
        std::fprintf(stderr, "orbis-cli: %s: '%s' is not UTF-8 text\n", what.c_str(), utf8.c_str());
        return false;
    }
    for (size_t i = 0; i < wide.size();) {
        size_t n = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() ? 2 : 1;
        BOOL lacking = FALSE;
        NarrowText(CP_ACP, &wide[i], n, &lacking);
        if (lacking) {
            unsigned code =
                n == 2 ? 0x10000u + ((wide[i] - 0xD800u) << 10) + (wide[i + 1] - 0xDC00u) : wide[i];
            std::fprintf(stderr,
                         "orbis-cli: %s: '%s' cannot be sent: code page 949 has no character U+%04X ('%s')\n",
                         what.c_str(), utf8.c_str(), code, NarrowText(CP_UTF8, &wide[i], n, nullptr).c_str());
            return false;
        }
        i += n;
    }
    ansi = NarrowText(CP_ACP, wide.data(), wide.size(), nullptr);
    return true;
}

std::string ToTerminal(const std::string& ansi) {
    std::vector<WCHAR> wide = WideText(CP_ACP, 0, ansi);
    return NarrowText(CP_UTF8, wide.data(), wide.size(), nullptr);
}

} // namespace cli
