// CPaperView: seven lists, one of them ("SepSrc") shown but never editable.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {{"BLANKPGS", "PRINT"},      {"SEPSHEETS", "NONE"},     {"SEPSRC", "COLORED"},
                           {"TRAY1PAPSIZE", "a4"},     {"TRAY1PAPTYPE", "PLAIN"}, {"TRAY2PAPSIZE", "B4"},
                           {"TRAY2PAPTYPE", "CUSTOM3"}};
} // namespace

class PaperPage : public PageTest {};

TEST_F(PaperPage, ShowsAndStoresEachList) {
    Run(1, {
               {"shown: the document's values selected, the separator source disabled",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Selected(1040), "SEPSRC:COLORED");
                    EXPECT_EQ(d.Selected(1301), "TRAY1PAPSIZE:A4");
                    EXPECT_EQ(d.Selected(1303), "");
                    EXPECT_EQ(d.Selected(1304), "TRAY2PAPTYPE:CUSTOM3");
                    EXPECT_FALSE(d.Enabled(1040));
                    for (int id : {1018, 1019, 1301, 1302, 1303, 1304})
                        EXPECT_TRUE(d.Enabled(id)) << id;
                    EXPECT_EQ(d.Label(1282), " 용지");
                    EXPECT_EQ(d.Label(1012), "공백 페이지");
                    EXPECT_EQ(d.Label(1296), "트레이 2");
                    EXPECT_TRUE(d.At(1304, 161, 168, 135));
                    EXPECT_TRUE(d.At(1282, 15, 10, 296));
                }},
               {"every editable list stores the chosen item's value; the source stays put",
                kValues,
                [](Driver& d) {
                    d.Select(1018, "BLANKPGS:PRINT");
                    d.Select(1019, "SEPSHEETS:BETWEENJOBS");
                    d.Select(1301, "TRAY1PAPSIZE:LEGAL");
                    d.Select(1302, "TRAY1PAPTYPE:LABELS");
                    d.Select(1303, "TRAY2PAPSIZE:A5");
                    d.Select(1304, "TRAY2PAPTYPE:CUSTOM6");
                    d.Select(1040, "SEPSRC:PLAIN"); // disabled: nothing
                },
                {{"BLANKPGS", "PRINT"},
                 {"SEPSHEETS", "BETWEENJOBS"},
                 {"TRAY1PAPSIZE", "LEGAL"},
                 {"TRAY1PAPTYPE", "LABELS"},
                 {"TRAY2PAPSIZE", "A5"},
                 {"TRAY2PAPTYPE", "CUSTOM6"}},
                [](Driver& d) {
                    EXPECT_FALSE(d.Enabled(1040));
                    EXPECT_EQ(d.Selected(1040), "SEPSRC:COLORED");
                }},
           });
}
