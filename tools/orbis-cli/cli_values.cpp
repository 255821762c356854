#include "cli_values.h"

#include "cli.h"

#include "npa_catalogue.h"
#include "setting_limits.h"

#include <cstdio>

namespace cli {

bool ValuesFit(const std::vector<std::string>& items) {
    SettingValueCheck check;
    bool fit = true;
    for (const std::string& item : items) {
        size_t colon = item.find(':');
        std::string name = UpperCase(item.substr(0, colon));
        std::string value = item.substr(colon + 1);
        std::string why = check.Check(name, value).Why;
        if (why.empty()) continue;
        std::fprintf(stderr, "orbis-cli: refused %s=%s: %s\n", item.substr(0, colon).c_str(),
                     cli::Escaped(cli::ToTerminal(value)).c_str(), why.c_str());
        fit = false;
    }
    return fit;
}

} // namespace cli
