// CSetupView: four lists, the property tag, three timers that can be switched
// off, four on/off switches.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {{"EMULATION", "PS2"},  {"JAMRCVRY", "AUTO"},    {"LANGUAGE", "FRENCH"},
                           {"PRTAREA", "NORMAL"}, {"PROPTAG", "Office 3"}, {"PWRSVR", "OFF"},
                           {"PRTTIMEOUT", "30"},  {"AUTOCONT", "off"},     {"RESRED", "ON"},
                           {"RESSAV", "OFF"},     {"RESETCTRL", "MAYBE"},  {"PRTBUFCTRL", "OFF"}};
} // namespace

class SetupPage : public PageTest {};

TEST_F(SetupPage, ListsTagTimersAndSwitches) {
    Run(6, {
               {"shown: a timer at its off value shows the minimum, disabled",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Selected(1240), "EMULATION:PS2");
                    EXPECT_EQ(d.SelectedText(1244), "Français");
                    EXPECT_EQ(d.Text(1247), "Office 3");
                    EXPECT_EQ(d.Text(1251), "1");
                    EXPECT_FALSE(d.Enabled(1251) || d.Enabled(1252));
                    EXPECT_TRUE(d.Checked(1254) && d.Enabled(1255) && d.Enabled(1256));
                    EXPECT_EQ(d.Text(1255), "30");
                    EXPECT_FALSE(d.Checked(1258));
                    EXPECT_EQ(d.Text(1259), "5");
                    EXPECT_TRUE(d.Checked(1266)) << "a value matching neither shows checked";
                    EXPECT_EQ(d.Label(1288), " 설정");
                    EXPECT_EQ(d.Label(1243), "디스플레이 언어");
                    EXPECT_TRUE(d.At(1250, 30, 109, 139));
                    EXPECT_TRUE(d.At(1251, 177, 109, 34)) << "the up-down takes its width from the edit";
                    EXPECT_EQ(d.Get<QLineEdit>(1251)->alignment() & Qt::AlignRight, Qt::AlignRight);
                    EXPECT_TRUE(d.Get<QLineEdit>(1251)->isReadOnly());
                    EXPECT_TRUE(d.Get<CSpinButton>(1256)->HasThousands());
                }},
               {"checking a timer at its off value stores the minimum shown",
                kValues,
                [](Driver& d) { d.Click(1250); },
                {{"PWRSVR", "1"}},
                [](Driver& d) { EXPECT_TRUE(d.Enabled(1251) && d.Enabled(1252)); }},
               {"the first arrow step stores, and each later one; clearing stores the off value",
                kValues,
                [](Driver& d) {
                    d.Step(1256, +1);
                    EXPECT_EQ(d.Doc.CurrentValues["PRTTIMEOUT"], "31");
                    d.Step(1256, -2);
                    EXPECT_EQ(d.Doc.CurrentValues["PRTTIMEOUT"], "29");
                    d.Click(1254);
                },
                {{"PRTTIMEOUT", "OFF"}},
                [](Driver& d) { EXPECT_FALSE(d.Enabled(1255) || d.Enabled(1256)); }},
               {"the property tag stores each keystroke, up to 32 characters",
                kValues,
                [](Driver& d) { d.Type(1247, "-ABCDEFGHIJKLMNOPQRSTUVWXYZ"); },
                {{"PROPTAG", "Office 3-ABCDEFGHIJKLMNOPQRSTUVW"}}},
               {"every switch stores its state; every list its choice",
                kValues,
                [](Driver& d) {
                    for (int id : {1262, 1264, 1266, 1268})
                        d.Click(id);
                    d.Select(1240, "EMULATION:AUTO");
                    d.Select(1242, "JAMRCVRY:OFF");
                    d.Select(1244, "LANGUAGE:JAPANESE");
                    d.Select(1245, "PRTAREA:WHOLEPAGE");
                },
                {{"RESRED", "OFF"},
                 {"RESSAV", "ON"},
                 {"RESETCTRL", "OFF"},
                 {"PRTBUFCTRL", "ON"},
                 {"EMULATION", "AUTO"},
                 {"JAMRCVRY", "OFF"},
                 {"LANGUAGE", "JAPANESE"},
                 {"PRTAREA", "WHOLEPAGE"}}},
           });
}
