#include "catalogue_location.h"

#include "npa_catalogue.h"
#include "win32.h"

namespace {

bool IsFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The folder part of `path` ("" when it has none), and the separator it uses.
std::string Parent(const std::string& path, char& separator) {
    size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) return std::string();
    separator = path[cut];
    return path.substr(0, cut);
}

} // namespace

CatalogueSearch FindCatalogue() {
    CatalogueSearch search;
    search.lookedIn.push_back(kCatalogueFile);
    char module[MAX_PATH * 4] = "";
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length > 0 && length < sizeof module) {
        char separator = '\\';
        std::string bin = Parent(module, separator);
        std::string prefix = Parent(bin, separator);
        if (!bin.empty()) {
            search.lookedIn.push_back(prefix + separator + "share" + separator + "orbis-lp2200" + separator +
                                      "quillon.ini");
        }
#if defined(ORBIS_BUILD_BIN_DIR) && defined(ORBIS_SOURCE_RES_DIR)
        // Only a program started from the build tree itself: an installed one never
        // reaches back into the sources it was built from.
        if (bin == ORBIS_BUILD_BIN_DIR) search.lookedIn.push_back(ORBIS_SOURCE_RES_DIR "/quillon.ini");
#endif
    }
    for (const std::string& place : search.lookedIn) {
        if (IsFile(place)) {
            search.found = place;
            break;
        }
    }
    return search;
}

CatalogueSearch LocateCatalogue() {
    CatalogueSearch search = FindCatalogue();
    UseCatalogueFile(search.found);
    return search;
}
