// CPaperView: seven lists, one of them ("SepSrc") shown but never editable.
#include "page_fixture.h"

#include <algorithm>

using namespace pagetest;

namespace {
const StringMap kValues = {{"BLANKPGS", "PRINT"},      {"SEPSHEETS", "NONE"},     {"SEPSRC", "COLORED"},
                           {"TRAY1PAPSIZE", "a4"},     {"TRAY1PAPTYPE", "PLAIN"}, {"TRAY2PAPSIZE", "B4"},
                           {"TRAY2PAPTYPE", "CUSTOM3"}};
} // namespace

class PaperPage : public PageTest {};

TEST_F(PaperPage, ShowsAndStoresEachList) {
    Run(1, {
               {"shown: the document's values selected, case ignored, an unknown value selects nothing",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Selected(1018), "BLANKPGS:PRINT");
                    EXPECT_EQ(d.Selected(1019), "SEPSHEETS:NONE");
                    EXPECT_EQ(d.Selected(1040), "SEPSRC:COLORED");
                    EXPECT_EQ(d.Selected(1301), "TRAY1PAPSIZE:A4");
                    EXPECT_EQ(d.Selected(1302), "TRAY1PAPTYPE:PLAIN");
                    EXPECT_EQ(d.Selected(1303), "");
                    EXPECT_EQ(d.Selected(1304), "TRAY2PAPTYPE:CUSTOM3");
                    EXPECT_FALSE(d.Enabled(1040));
                    for (int id : {1018, 1019, 1301, 1302, 1303, 1304})
                        EXPECT_TRUE(d.Enabled(id)) << id;
                    std::vector<std::string> items = d.Items(1302);
                    EXPECT_EQ(items.size(), 14u);
                    EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](auto& a, auto& b) {
                        return QString::fromStdString(a).compare(QString::fromStdString(b),
                                                                 Qt::CaseInsensitive) < 0;
                    }));
                    EXPECT_EQ(d.Label(1282), " 용지");
                    EXPECT_EQ(d.Label(1012), "공백 페이지");
                    EXPECT_EQ(d.Label(1295), "트레이 1");
                    EXPECT_EQ(d.Label(1296), "트레이 2");
                    EXPECT_EQ(d.Label(1300), "용지 종류");
                    EXPECT_TRUE(d.At(1018, 161, 29, 135));
                    EXPECT_TRUE(d.At(1304, 161, 168, 135));
                    EXPECT_TRUE(d.At(1282, 15, 10, 296));
                }},
               {"every editable list stores the chosen item's value",
                kValues,
                [](Driver& d) {
                    d.Select(1018, "BLANKPGS:DONTPRINT");
                    d.Select(1019, "SEPSHEETS:BETWEENJOBS");
                    d.Select(1301, "TRAY1PAPSIZE:LEGAL");
                    d.Select(1302, "TRAY1PAPTYPE:LABELS");
                    d.Select(1303, "TRAY2PAPSIZE:A5");
                    d.Select(1304, "TRAY2PAPTYPE:CUSTOM6");
                },
                {{"BLANKPGS", "DONTPRINT"},
                 {"SEPSHEETS", "BETWEENJOBS"},
                 {"TRAY1PAPSIZE", "LEGAL"},
                 {"TRAY1PAPTYPE", "LABELS"},
                 {"TRAY2PAPSIZE", "A5"},
                 {"TRAY2PAPTYPE", "CUSTOM6"}},
                [](Driver& d) {
                    EXPECT_FALSE(d.Enabled(1040))
                        << "changing the separator sheets leaves the source disabled";
                    EXPECT_EQ(d.Selected(1040), "SEPSRC:COLORED");
                }},
               {"re-selecting the selected item stores it again",
                kValues,
                [](Driver& d) { d.Select(1018, "BLANKPGS:PRINT"); },
                {{"BLANKPGS", "PRINT"}}},
               {"the separator source cannot be changed",
                kValues,
                [](Driver& d) { d.Select(1040, "SEPSRC:PLAIN"); },
                {}},
           });
}
