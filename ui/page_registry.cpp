#include "page_registry.h"

#include "settings_view.h"

#include <map>

namespace {

// A function-local table, so registration from other units' static
// initialisers never meets an unconstructed map.
std::map<int, PageFactory>& Factories() {
    static std::map<int, PageFactory> factories;
    return factories;
}

} // namespace

bool RegisterPageClass(int pageId, PageFactory factory) {
    Factories()[pageId] = std::move(factory);
    return true;
}

bool HasPageClass(int pageId) {
    return Factories().count(pageId) != 0;
}

CSettingsView* CreatePageView(int pageId, CPrinterDoc* doc) {
    auto found = Factories().find(pageId);
    if (found != Factories().end()) {
        if (CSettingsView* page = found->second(doc)) return page;
    }
    return new CSettingsView(doc);
}
