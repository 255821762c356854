// The texture and weight pages: fifteen labelled lists each, one per paper type,
// top to bottom; the two pages differ in two labels.
#include "page_fixture.h"

using namespace pagetest;

namespace {
struct ListPage {
    int id;
    std::string title, suffix, even, odd;
    std::vector<std::string> names;
    std::vector<int> combos, labels;
    std::vector<std::string> labelTexts;
};

const std::vector<std::string> kLabelHead = {"일반 용지", "카드 용지", "OHP 필름", "라벨", "본드", "봉투"};

const ListPage kTexture{
    3,
    " 용지  >  용지 구조",
    "TXT",
    "SMOOTH",
    "ROUGH",
    {"PLAIN", "CARDSTK", "TRNSPRNCY", "LABEL", "BOND", "ENV", "LTRHD", "PREPRNT", "COLOR", "CUST1", "CUST2",
     "CUST3", "CUST4", "CUST5", "CUST6"},
    {1076, 1077, 1080, 1081, 1082, 1083, 1084, 1085, 1086, 1088, 1098, 1099, 1100, 1101, 1102},
    {1087, 1089, 1090, 1091, 1092, 1093, 1094, 1095, 1096, 1097, 1103, 1104, 1105, 1106, 1107},
    {"레터 헤드", "이면지", "색상 용지", "사용자 1 구조", "사용자 2 구조", "사용자 3 구조", "사용자 4 구조",
     "사용자 5 구조", "사용자 6 구조"}};
const ListPage kWeight{
    4,
    " 용지  >  용지 무게",
    "WGT",
    "LIGHT",
    "HEAVY",
    kTexture.names,
    {1108, 1109, 1110, 1111, 1112, 1113, 1114, 1115, 1116, 1117, 1118, 1119, 1120, 1121, 1122},
    {1123, 1124, 1125, 1126, 1127, 1128, 1129, 1130, 1131, 1132, 1133, 1134, 1135, 1136, 1137},
    {"레터헤드", "양면지", "색상 용지", "사용자 1 무게", "사용자 2 무게", "사용자 3 무게", "사용자 4 무게",
     "사용자 5 무게", "사용자 6 무게"}};

// Even rows hold the page's first value, odd rows the second; the last row a value the list lacks.
std::vector<Case> Table(const ListPage& p) {
    StringMap values, stored;
    for (int i = 0; i < 15; ++i) {
        values[p.names[i] + p.suffix] = i == 14 ? "GLOSSY" : i % 2 ? p.odd : p.even;
        stored[p.names[i] + p.suffix] = "NORMAL";
    }
    return {{"shown: each row's value, labels and places",
             values,
             nullptr,
             {},
             [p](Driver& d) {
                 EXPECT_EQ(d.Label(p.id == 3 ? 1284 : 1285), p.title);
                 for (int i = 0; i < 15; ++i) {
                     const std::string name = p.names[i] + p.suffix;
                     SCOPED_TRACE(name);
                     EXPECT_EQ(d.Selected(p.combos[i]), i == 14 ? "" : name + ":" + (i % 2 ? p.odd : p.even));
                     EXPECT_EQ(d.Count(p.combos[i]), 3);
                     EXPECT_EQ(d.Label(p.labels[i]), i < 6 ? kLabelHead[i] : p.labelTexts[i - 6]);
                     EXPECT_TRUE(d.At(p.combos[i], 161, 29 + 16 * i, 135));
                 }
             }},
            {"every row stores its own setting", values,
             [p](Driver& d) {
                 for (int i = 0; i < 15; ++i)
                     d.Select(p.combos[i], p.names[i] + p.suffix + ":NORMAL");
             },
             stored}};
}
} // namespace

class PaperListPages : public PageTest {};

TEST_F(PaperListPages, Texture) {
    Run(kTexture.id, Table(kTexture));
}
TEST_F(PaperListPages, Weight) {
    Run(kWeight.id, Table(kWeight));
}
