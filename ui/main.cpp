#include "catalogue_location.h"
#include "npa_catalogue.h"
#include "printer_app.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Without a catalogue no driver is recognised, and start-up ends with the
    // "no directly connected printer" message; a console also learns why.
    CatalogueSearch catalogue = LocateCatalogue();
    if (catalogue.found.empty()) {
        std::fprintf(stderr, "orbis-settings: no catalogue quillon.ini found; looked in:\n");
        for (const std::string& place : catalogue.lookedIn) {
            std::string shown =
                place == kCatalogueFile ? QDir::current().filePath("quillon.ini").toStdString() : place;
            std::fprintf(stderr, "  %s\n", shown.c_str());
        }
    }
    CPrinterApp app;
    if (!app.InitInstance()) return 1;
    return application.exec();
}
