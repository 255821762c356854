// Which page class shows which page id. Each page unit registers itself with
// ORBIS_REGISTER_PAGE; ids without a page get the blank page.
#pragma once

#include <functional>

class CPrinterDoc;
class CSettingsView;
class QWidget;

using PageFactory = std::function<CSettingsView*(CPrinterDoc* doc)>;

// Returns true; meant for the registration macro's static initialiser.
bool RegisterPageClass(int pageId, PageFactory factory);

// True when a page class is registered for `pageId`.
bool HasPageClass(int pageId);

// A new page for `pageId` bound to `doc`: the registered class, or the blank
// page CSettingsView for any other id. Not yet initialised (see OnInitialUpdate).
CSettingsView* CreatePageView(int pageId, CPrinterDoc* doc);

#define ORBIS_REGISTER_PAGE(pageId, PageClass)                                                               \
    namespace {                                                                                              \
    [[maybe_unused]] const bool registered_##PageClass =                                                     \
        RegisterPageClass(pageId, [](CPrinterDoc* doc) -> CSettingsView* { return new PageClass(doc); });    \
    }
