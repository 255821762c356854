// CPclView: A4 width, automatic CR and LF, lines per page with its arrows.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {
    {"A4WIDTH", "203mm"}, {"AUTOCR", "ON"}, {"AUTOLF", "SOMETIMES"}, {"LINESPERPG", "60"}};
StringMap Lines(const char* value) {
    StringMap values = kValues;
    values["LINESPERPG"] = value;
    return values;
}
} // namespace

class PclPage : public PageTest {};

TEST_F(PclPage, WidthSwitchesAndLines) {
    Run(7, {
               {"shown",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Selected(1272), "A4WIDTH:203MM");
                    EXPECT_TRUE(d.Checked(1274));
                    EXPECT_TRUE(d.Checked(1276)) << "neither value shows checked";
                    EXPECT_EQ(d.Text(1278), "60");
                    EXPECT_TRUE(d.Enabled(1278));
                    EXPECT_TRUE(d.Enabled(1279));
                    EXPECT_TRUE(d.Get<CSpinButton>(1279)->HasThousands());
                    EXPECT_EQ(d.Label(1289), " PCL 에뮬레이션");
                    EXPECT_EQ(d.Label(1271), "A4 ");
                    EXPECT_EQ(d.Label(1277), "페이지당 라인");
                }},
               {"the fill's own text change stores nothing; the first step does",
                kValues,
                [](Driver& d) { d.Step(1279, +1); },
                {{"LINESPERPG", "61"}}},
               {"each later step stores",
                kValues,
                [](Driver& d) {
                    d.Step(1279, +2);
                    EXPECT_EQ(d.Doc.CurrentValues["LINESPERPG"], "62");
                    d.Step(1279, -5);
                },
                {{"LINESPERPG", "57"}}},
               {"a value outside the range shows clamped, steps stay within it",
                Lines("2"),
                [](Driver& d) {
                    EXPECT_EQ(d.Text(1278), "5");
                    d.Step(1279, -1);
                },
                {}},
               {"steps stop at the maximum",
                Lines("127"),
                [](Driver& d) { d.Step(1279, +3); },
                {{"LINESPERPG", "128"}}},
               {"switches store the cleared and checked values",
                kValues,
                [](Driver& d) {
                    d.Click(1274);
                    d.Click(1276);
                    d.Click(1276);
                },
                {{"AUTOCR", "OFF"}, {"AUTOLF", "ON"}}},
               {"the width stores the chosen item",
                kValues,
                [](Driver& d) { d.Select(1272, "A4WIDTH:198MM"); },
                {{"A4WIDTH", "198MM"}}},
           });
}
