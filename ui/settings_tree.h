// The shape of the settings tree as the catalogue's tree sections give it,
// built without any widget: the root's children, each with its label id,
// page id and (for first-level items) its own children.
#pragma once

#include <string>
#include <vector>

struct SettingsTreeItem {
    std::string Section;
    unsigned StringId = 0; // string-table id of the label
    int ViewId = 0;        // page id
    std::vector<SettingsTreeItem> Children;
};

// Reads "TreeRoot" and the item sections from `catalogue` (default ".\quillon.ini").
// Two levels below the root at most; a missing file or key gives an empty tree.
std::vector<SettingsTreeItem> BuildSettingsTree(const char* catalogue = nullptr);

// The list rules of the tree: split at commas, empty names skipped, at most 10 names.
std::vector<std::string> SplitTreeList(const std::string& list);
