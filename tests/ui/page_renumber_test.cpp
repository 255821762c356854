// CRenumberView: four radio triples, each with a number and its arrows.
#include "page_fixture.h"

using namespace pagetest;

namespace {
// Tray 1 at the first value, tray 2 at the second ("꺼짐"), manual paper and envelope at numbers.
const StringMap kValues = {
    {"ASSIGNTRAY1", "OFF"}, {"ASSIGNTRAY2", "none"}, {"ASSIGNMANPAPER", "12"}, {"ASSIGNMANENV", "7"}};

struct Group {
    int box, first, second, number, edit, spin;
    const char* name;
};
const Group kGroups[] = {{1203, 1196, 1197, 1198, 1201, 1202, "ASSIGNTRAY1"},
                         {1212, 1213, 1214, 1215, 1216, 1217, "ASSIGNTRAY2"},
                         {1220, 1221, 1222, 1223, 1224, 1225, "ASSIGNMANPAPER"},
                         {1228, 1235, 1234, 1233, 1232, 1231, "ASSIGNMANENV"}};
const Group& kTray1 = kGroups[0];
const Group& kTray2 = kGroups[1];
const Group& kPaper = kGroups[2];
const Group& kEnv = kGroups[3];

void ExpectNumberActive(Driver& d, const Group& g, bool on) {
    EXPECT_EQ(d.Enabled(g.edit), on) << g.name;
    EXPECT_EQ(d.Enabled(g.spin), on) << g.name;
}
} // namespace

class RenumberPage : public PageTest {};

TEST_F(RenumberPage, RadioTriples) {
    Run(8, {
               {"shown: the first radio always disabled, the second too while the value is the first",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    for (const Group& g : kGroups) {
                        EXPECT_FALSE(d.Enabled(g.first)) << g.name;
                        EXPECT_TRUE(d.Enabled(g.number)) << g.name;
                        EXPECT_EQ(d.Label(g.first), "없음");
                        EXPECT_EQ(d.Label(g.second), "꺼짐");
                    }
                    EXPECT_TRUE(d.Checked(kTray1.first));
                    EXPECT_FALSE(d.Enabled(kTray1.second));
                    EXPECT_EQ(d.Text(kTray1.edit), "0");
                    ExpectNumberActive(d, kTray1, false);
                    EXPECT_TRUE(d.Checked(kTray2.second));
                    EXPECT_TRUE(d.Enabled(kTray2.second));
                    EXPECT_FALSE(d.Checked(kTray2.number));
                    ExpectNumberActive(d, kTray2, false);
                    EXPECT_TRUE(d.Checked(kPaper.number));
                    EXPECT_EQ(d.Text(kPaper.edit), "12");
                    ExpectNumberActive(d, kPaper, true);
                    EXPECT_EQ(d.Text(kEnv.edit), "7");
                    EXPECT_EQ(d.Label(1294), " PCL 에뮬레이션  >  트레이 번호");
                    EXPECT_EQ(d.Label(1228), "수동 봉투 지정");
                    EXPECT_TRUE(d.At(1233, 200, 167, 10));
                    EXPECT_TRUE(d.At(1203, 31, 29, 105));
                }},
               {"from the first value only the number can be chosen; it stores the minimum",
                kValues,
                [](Driver& d) {
                    d.Click(kTray1.first);
                    d.Click(kTray1.second);
                    EXPECT_TRUE(d.Doc.CurrentValues["ASSIGNTRAY1"] == "OFF");
                    d.Click(kTray1.number);
                },
                {{"ASSIGNTRAY1", "0"}},
                [](Driver& d) {
                    ExpectNumberActive(d, kTray1, true);
                    d.Reshow(8);
                    EXPECT_TRUE(d.Enabled(kTray1.second)) << "available again once the value is a number";
                    EXPECT_TRUE(d.Checked(kTray1.number));
                }},
               {"choosing 꺼짐 again stores it again",
                kValues,
                [](Driver& d) { d.Click(kTray2.second); },
                {{"ASSIGNTRAY2", "NONE"}},
                [](Driver& d) { EXPECT_TRUE(d.Checked(kTray2.second)); }},
               {"choosing 꺼짐 from a number disables the number",
                kValues,
                [](Driver& d) { d.Click(kPaper.second); },
                {{"ASSIGNMANPAPER", "NONE"}},
                [](Driver& d) { ExpectNumberActive(d, kPaper, false); }},
               {"the first step after showing stores, and each later one",
                kValues,
                [](Driver& d) {
                    d.Step(kPaper.spin, +1);
                    EXPECT_EQ(d.Doc.CurrentValues["ASSIGNMANPAPER"], "13");
                    d.Step(kPaper.spin, +2);
                },
                {{"ASSIGNMANPAPER", "15"}}},
               {"the number radio stores the number shown",
                kValues,
                [](Driver& d) {
                    d.Click(kEnv.second);
                    d.Click(kEnv.number);
                    d.Step(kTray2.spin, +1); // disabled: nothing
                },
                {{"ASSIGNMANENV", "7"}},
                [](Driver& d) { ExpectNumberActive(d, kEnv, true); }},
           });
}
