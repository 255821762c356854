// CPclView: A4 width, automatic CR and LF, lines per page with its arrows.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {
    {"A4WIDTH", "203mm"}, {"AUTOCR", "ON"}, {"AUTOLF", "SOMETIMES"}, {"LINESPERPG", "60"}};
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
                    EXPECT_TRUE(d.Enabled(1278) && d.Enabled(1279));
                    EXPECT_TRUE(d.Get<CSpinButton>(1279)->HasThousands());
                    EXPECT_EQ(d.Label(1289), " PCL 에뮬레이션");
                    EXPECT_EQ(d.Label(1271), "A4 ");
                    EXPECT_EQ(d.Label(1277), "페이지당 라인");
                }},
               {"switches store the cleared and checked values; the width its item; the lines each step",
                kValues,
                [](Driver& d) {
                    d.Click(1274);
                    d.Click(1276);
                    d.Click(1276);
                    d.Select(1272, "A4WIDTH:198MM");
                    d.Step(1279, +1);
                    EXPECT_EQ(d.Doc.CurrentValues["LINESPERPG"], "61");
                    d.Step(1279, -5);
                },
                {{"AUTOCR", "OFF"}, {"AUTOLF", "ON"}, {"A4WIDTH", "198MM"}, {"LINESPERPG", "56"}}},
           });
}
