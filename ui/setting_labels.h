// The names a user knows settings by: the label each page shows a setting under,
// with the page's name in the tree, e.g. "[용지] 트레이 1 - 용지 크기". Used where
// a message must name settings (the read-back check after an apply).
#pragma once

#include "npa_catalogue.h"

#include <QString>

#include <map>
#include <string>

class CPrinterDoc;

// NPA name -> label, for every setting a page of the catalogue's tree shows.
std::map<std::string, QString> SettingLabels(CPrinterDoc* doc);

// A value as a page shows it: a list setting's display text, a text setting's
// characters; anything else as it stands.
QString SettingValueText(CPrinterDoc* doc, const std::string& name, const std::string& value);
