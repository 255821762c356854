// The weight page: fifteen labelled lists, one per paper type, top to bottom.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const char* const kNames[15] = {"PLAINWGT", "CARDSTKWGT", "TRNSPRNCYWGT", "LABELWGT", "BONDWGT",
                                "ENVWGT",   "LTRHDWGT",   "PREPRNTWGT",   "COLORWGT", "CUST1WGT",
                                "CUST2WGT", "CUST3WGT",   "CUST4WGT",     "CUST5WGT", "CUST6WGT"};
const int kCombos[15] = {1108, 1109, 1110, 1111, 1112, 1113, 1114, 1115,
                         1116, 1117, 1118, 1119, 1120, 1121, 1122};
const int kLabels[15] = {1123, 1124, 1125, 1126, 1127, 1128, 1129, 1130,
                         1131, 1132, 1133, 1134, 1135, 1136, 1137};
const char* const kLabelTexts[15] = {"일반 용지",     "카드 용지",     "OHP 필름",      "라벨",
                                     "본드",          "봉투",          "레터헤드",      "양면지",
                                     "색상 용지",     "사용자 1 무게", "사용자 2 무게", "사용자 3 무게",
                                     "사용자 4 무게", "사용자 5 무게", "사용자 6 무게"};

// Row i holds LIGHT for even rows and HEAVY for odd ones; the last row holds a value the list lacks.
StringMap Values() {
    StringMap values;
    for (int i = 0; i < 15; ++i)
        values[kNames[i]] = i == 14 ? "GLOSSY" : i % 2 ? "HEAVY" : "LIGHT";
    return values;
}
} // namespace

class PaperWeightPage : public PageTest {};

TEST_F(PaperWeightPage, FifteenLists) {
    Run(4, {
               {"shown: each row's value, labels and places",
                Values(),
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Label(1285), " 용지  >  용지 무게");
                    for (int i = 0; i < 15; ++i) {
                        SCOPED_TRACE(kNames[i]);
                        EXPECT_EQ(d.Selected(kCombos[i]),
                                  i == 14 ? "" : std::string(kNames[i]) + (i % 2 ? ":HEAVY" : ":LIGHT"));
                        EXPECT_EQ(d.Items(kCombos[i]).size(), 3u);
                        EXPECT_EQ(d.Label(kLabels[i]), kLabelTexts[i]);
                        EXPECT_TRUE(d.At(kCombos[i], 161, 29 + 16 * i, 135));
                        EXPECT_TRUE(d.At(kLabels[i], 31, 29 + 16 * i, 125));
                    }
                }},
               {"every row stores its own setting", Values(),
                [](Driver& d) {
                    for (int i = 0; i < 15; ++i)
                        d.Select(kCombos[i], std::string(kNames[i]) + ":NORMAL");
                },
                [] {
                    StringMap stored;
                    for (const char* name : kNames)
                        stored[name] = "NORMAL";
                    return stored;
                }()},
               {"re-selecting the selected item stores it again",
                Values(),
                [](Driver& d) { d.Select(kCombos[1], std::string(kNames[1]) + ":HEAVY"); },
                {{kNames[1], "HEAVY"}}},
           });
}
