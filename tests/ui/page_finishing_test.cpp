// CFinishingView: the toner alarm list and the DKMX switch.
#include "page_fixture.h"

using namespace pagetest;

class FinishingPage : public PageTest {};

TEST_F(FinishingPage, AlarmAndSwitch) {
    const StringMap on = {{"TONERALARM", "single"}, {"DKMX", "off"}};
    const StringMap neither = {{"TONERALARM", "LOUD"}, {"DKMX", "HALF"}};
    Run(5, {
               {"shown, case ignored",
                on,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Selected(1044), "TONERALARM:SINGLE");
                    EXPECT_FALSE(d.Checked(1046));
                    EXPECT_EQ(d.Label(1287), " 마무리");
                    EXPECT_EQ(d.Label(1047), "토너 알람");
                    EXPECT_EQ(QString::fromStdString(d.Label(1046)).trimmed(), "DKMX");
                    EXPECT_TRUE(d.At(1046, 30, 45, 138));
                }},
               {"neither value: checked, no alarm item; clearing then checking stores both values",
                neither,
                [](Driver& d) {
                    EXPECT_TRUE(d.Checked(1046));
                    EXPECT_EQ(d.Selected(1044), "");
                    d.Click(1046);
                    EXPECT_EQ(d.Doc.CurrentValues["DKMX"], "OFF");
                    d.Click(1046);
                    d.Select(1044, "TONERALARM:CONTINUOUS");
                },
                {{"DKMX", "ON"}, {"TONERALARM", "CONTINUOUS"}}},
           });
}
