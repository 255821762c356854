// Where the catalogue is read from. The program reads ".\quillon.ini" in its
// current directory; when that is not there, the copy installed with the
// program serves (share\orbis-lp2200\ beside the program's bin\ folder), and a
// program run from its build tree reads the source tree's res\ copy. So a menu
// entry or a console in any directory finds it.
#pragma once

#include <string>
#include <vector>

// The places looked in, in order, and the first that holds a catalogue ("" when none does).
struct CatalogueSearch {
    std::vector<std::string> lookedIn;
    std::string found;
};
CatalogueSearch FindCatalogue();

// FindCatalogue, then reads the catalogue from what it found. When nothing was
// found the readers stay on ".\quillon.ini", which then reads as empty.
CatalogueSearch LocateCatalogue();
