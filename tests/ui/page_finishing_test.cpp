// CFinishingView: the toner alarm list and the DKMX switch.
#include "page_fixture.h"

using namespace pagetest;

class FinishingPage : public PageTest {};

TEST_F(FinishingPage, AlarmAndSwitch) {
    const StringMap on = {{"TONERALARM", "single"}, {"DKMX", "ON"}};
    const StringMap off = {{"TONERALARM", "OFF"}, {"DKMX", "off"}};
    const StringMap neither = {{"TONERALARM", "LOUD"}, {"DKMX", "HALF"}};
    Run(5,
        {
            {"shown on",
             on,
             nullptr,
             {},
             [](Driver& d) {
                 EXPECT_EQ(d.Selected(1044), "TONERALARM:SINGLE");
                 EXPECT_TRUE(d.Checked(1046));
                 EXPECT_EQ(d.Label(1287), " 마무리");
                 EXPECT_EQ(d.Label(1047), "토너 알람");
                 EXPECT_EQ(QString::fromStdString(d.Label(1046)).trimmed(), "DKMX");
                 EXPECT_TRUE(d.At(1046, 30, 45, 138));
             }},
            {"shown off, case ignored", off, nullptr, {}, [](Driver& d) { EXPECT_FALSE(d.Checked(1046)); }},
            {"a value matching neither shows checked and no alarm item",
             neither,
             nullptr,
             {},
             [](Driver& d) {
                 EXPECT_TRUE(d.Checked(1046));
                 EXPECT_EQ(d.Selected(1044), "");
             }},
            {"clearing from neither stores the cleared value, checking again the checked one",
             neither,
             [](Driver& d) {
                 d.Click(1046);
                 EXPECT_EQ(d.Doc.CurrentValues["DKMX"], "OFF");
                 d.Click(1046);
             },
             {{"DKMX", "ON"}},
             [](Driver& d) { EXPECT_TRUE(d.Checked(1046)); }},
            {"the alarm stores the chosen item, also the one already selected",
             on,
             [](Driver& d) {
                 d.Select(1044, "TONERALARM:CONTINUOUS");
                 d.Select(1044, "TONERALARM:CONTINUOUS");
             },
             {{"TONERALARM", "CONTINUOUS"}}},
        });
}
