// The texture page: fifteen labelled lists, one per paper type, top to bottom.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const char* const kNames[15] = {"PLAINTXT", "CARDSTKTXT", "TRNSPRNCYTXT", "LABELTXT", "BONDTXT",
                                "ENVTXT",   "LTRHDTXT",   "PREPRNTTXT",   "COLORTXT", "CUST1TXT",
                                "CUST2TXT", "CUST3TXT",   "CUST4TXT",     "CUST5TXT", "CUST6TXT"};
const int kCombos[15] = {1076, 1077, 1080, 1081, 1082, 1083, 1084, 1085,
                         1086, 1088, 1098, 1099, 1100, 1101, 1102};
const int kLabels[15] = {1087, 1089, 1090, 1091, 1092, 1093, 1094, 1095,
                         1096, 1097, 1103, 1104, 1105, 1106, 1107};
const char* const kLabelTexts[15] = {"일반 용지",     "카드 용지",     "OHP 필름",      "라벨",
                                     "본드",          "봉투",          "레터 헤드",     "이면지",
                                     "색상 용지",     "사용자 1 구조", "사용자 2 구조", "사용자 3 구조",
                                     "사용자 4 구조", "사용자 5 구조", "사용자 6 구조"};

// Row i holds SMOOTH for even rows and ROUGH for odd ones; the last row holds a value the list lacks.
StringMap Values() {
    StringMap values;
    for (int i = 0; i < 15; ++i)
        values[kNames[i]] = i == 14 ? "GLOSSY" : i % 2 ? "ROUGH" : "SMOOTH";
    return values;
}
} // namespace

class PaperTexturePage : public PageTest {};

TEST_F(PaperTexturePage, FifteenLists) {
    Run(3, {
               {"shown: each row's value, labels and places",
                Values(),
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Label(1284), " 용지  >  용지 구조");
                    for (int i = 0; i < 15; ++i) {
                        SCOPED_TRACE(kNames[i]);
                        EXPECT_EQ(d.Selected(kCombos[i]),
                                  i == 14 ? "" : std::string(kNames[i]) + (i % 2 ? ":ROUGH" : ":SMOOTH"));
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
                [](Driver& d) { d.Select(kCombos[1], std::string(kNames[1]) + ":ROUGH"); },
                {{kNames[1], "ROUGH"}}},
           });
}
