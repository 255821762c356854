#include "settings_tree.h"

#include "npa_catalogue.h"
#include "win32.h"

namespace {

constexpr DWORD kListBufferSize = 255;
constexpr size_t kMaxNames = 10;

std::string ReadList(const char* section, const char* catalogue) {
    char buffer[kListBufferSize] = {0};
    DWORD length = GetPrivateProfileStringA(section, "Children", "", buffer, kListBufferSize, catalogue);
    return std::string(buffer, length);
}

// How many names to insert: "NumChildren", which the catalogue keeps within its
// list; a count beyond the list is cut to the list rather than read past it.
size_t ChildCount(const char* section, size_t listed, const char* catalogue) {
    UINT count = GetPrivateProfileIntA(section, "NumChildren", 0, catalogue);
    return count < listed ? count : listed;
}

SettingsTreeItem ReadItem(const std::string& section, const char* catalogue) {
    SettingsTreeItem item;
    item.Section = section;
    item.StringId = GetPrivateProfileIntA(section.c_str(), "StringId", 0, catalogue);
    item.ViewId = static_cast<int>(GetPrivateProfileIntA(section.c_str(), "ViewId", 0, catalogue));
    return item;
}

} // namespace

std::vector<std::string> SplitTreeList(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size() && names.size() < kMaxNames) {
        size_t comma = list.find(',', start);
        size_t end = comma == std::string::npos ? list.size() : comma;
        if (end > start) names.push_back(list.substr(start, end - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return names;
}

std::vector<SettingsTreeItem> BuildSettingsTree(const char* catalogue) {
    if (!catalogue) catalogue = CatalogueFile();
    std::vector<SettingsTreeItem> tree;
    std::vector<std::string> names = SplitTreeList(ReadList("TreeRoot", catalogue));
    size_t count = ChildCount("TreeRoot", names.size(), catalogue);
    for (size_t i = 0; i < count; ++i) {
        SettingsTreeItem item = ReadItem(names[i], catalogue);
        std::vector<std::string> childNames = SplitTreeList(ReadList(names[i].c_str(), catalogue));
        size_t childCount = ChildCount(names[i].c_str(), childNames.size(), catalogue);
        for (size_t j = 0; j < childCount; ++j)
            item.Children.push_back(ReadItem(childNames[j], catalogue));
        tree.push_back(std::move(item));
    }
    return tree;
}
