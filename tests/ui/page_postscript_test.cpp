// CPostscriptView: three timeouts that can be switched off (plain digits) and the font priority.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {
    {"FEEDTIMEOUT", "OFF"}, {"JOBTIMEOUT", "999"}, {"WAITTIMEOUT", "32767"}, {"FONTPRIORITY", "FLASHDISK"}};
} // namespace

class PostscriptPage : public PageTest {};

TEST_F(PostscriptPage, TimeoutsAndFontPriority) {
    Run(9, {
               {"shown: off shows the minimum, large numbers without separators",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_FALSE(d.Checked(1180));
                    EXPECT_EQ(d.Text(1181), "15");
                    EXPECT_FALSE(d.Enabled(1181) || d.Enabled(1182));
                    EXPECT_TRUE(d.Checked(1184) && d.Enabled(1186));
                    EXPECT_EQ(d.Text(1185), "999");
                    EXPECT_EQ(d.Text(1189), "32767") << "the largest the catalogue allows";
                    for (int id : {1182, 1186, 1190})
                        EXPECT_FALSE(d.Get<CSpinButton>(id)->HasThousands()) << id;
                    EXPECT_EQ(d.Selected(1194), "FONTPRIORITY:FLASHDISK");
                    EXPECT_EQ(d.Label(1290), " 포스트스크립트");
                    EXPECT_EQ(d.Label(1195), "글꼴 우선 순위");
                    EXPECT_TRUE(d.At(1180, 30, 29, 136));
                }},
               {"checking a timeout at its off value stores the minimum",
                kValues,
                [](Driver& d) { d.Click(1180); },
                {{"FEEDTIMEOUT", "15"}},
                [](Driver& d) { EXPECT_TRUE(d.Enabled(1181) && d.Enabled(1182)); }},
               {"a large timeout stores digits only",
                kValues,
                [](Driver& d) { d.Step(1186, +1); },
                {{"JOBTIMEOUT", "1000"}},
                [](Driver& d) { EXPECT_EQ(d.Text(1185), "1000"); }},
               {"each step stores; clearing stores the off value; the font priority its choice",
                kValues,
                [](Driver& d) {
                    d.Step(1190, +1); // at the top of the range: nothing
                    EXPECT_EQ(d.Doc.CurrentValues["WAITTIMEOUT"], "32767");
                    d.Step(1190, -1);
                    EXPECT_EQ(d.Doc.CurrentValues["WAITTIMEOUT"], "32766");
                    d.Click(1188);
                    d.Step(1190, -1); // now disabled
                    d.Select(1194, "FONTPRIORITY:DOWNLOAD");
                },
                {{"WAITTIMEOUT", "OFF"}, {"FONTPRIORITY", "DOWNLOAD"}},
                [](Driver& d) { EXPECT_FALSE(d.Enabled(1189)); }},
           });
}
