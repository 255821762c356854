// CCustomView: six name edits (first-change protocol, typing limit) and six type lists.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {{"CUST1NAME", "Alpha"},
                           {"CUST2NAME", "ABCDEFGHIJKLMNOPQRST"}, // 20, longer than the limit of 16
                           {"CUST3NAME", "가나다라마바사"},       // 14 as the system counts
                           {"CUST4NAME", "ABCDEFGHIJKLMNOP"},     // exactly 16
                           {"CUST5NAME", ""},
                           {"CUST6NAME", "Six"},
                           {"CUST1TYPE", "PLAIN"},
                           {"CUST2TYPE", "cardstock"},
                           {"CUST6TYPE", "GLOSSY"}};
} // namespace

class CustomPage : public PageTest {};

TEST_F(CustomPage, NamesAndTypes) {
    Run(2, {
               {"shown: names whole, types selected, nothing stored by the fill",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Text(1155), "ABCDEFGHIJKLMNOPQRST");
                    EXPECT_EQ(d.Text(1156), "가나다라마바사");
                    EXPECT_EQ(d.Selected(1141), "CUST2TYPE:CARDSTOCK");
                    EXPECT_EQ(d.Selected(1145), "");
                    EXPECT_EQ(d.Label(1283), " 용지  >  사용자");
                    for (int n = 0; n < 6; ++n) {
                        EXPECT_EQ(d.Label(1166 + n), "사용자 " + std::to_string(n + 1));
                        EXPECT_EQ(d.Label(1160 + n), "이름");
                        EXPECT_EQ(d.Label(1146 + n), "용지 종류");
                    }
                    EXPECT_TRUE(d.At(1158, 151, 239, 135));
                    EXPECT_TRUE(d.At(1145, 151, 304, 135));
                }},
               {"the first keystroke after showing stores the whole name, each later one too",
                kValues,
                [](Driver& d) {
                    d.Type(1154, "X");
                    EXPECT_EQ(d.Doc.CurrentValues["CUST1NAME"], "AlphaX");
                    d.Type(1158, "ab");
                    d.Type(1159, "!");
                },
                {{"CUST1NAME", "AlphaX"}, {"CUST5NAME", "ab"}, {"CUST6NAME", "Six!"}}},
               {"a name at or over the limit takes no more typing, only shortening",
                kValues,
                [](Driver& d) {
                    d.Type(1157, "Q");
                    d.Type(1155, "Z");
                    EXPECT_EQ(d.Text(1155), "ABCDEFGHIJKLMNOPQRST");
                    d.Backspace(1155);
                    d.Type(1155, "Z");
                },
                {{"CUST2NAME", "ABCDEFGHIJKLMNOPQRS"}},
                [](Driver& d) { EXPECT_EQ(d.Text(1157), "ABCDEFGHIJKLMNOP"); }},
               {"Korean characters count two towards the limit",
                kValues,
                [](Driver& d) { d.Type(1156, "xyz아"); },
                {{"CUST3NAME", "가나다라마바사xy"}}},
               {"each type list stores its own choice, the selected one again too",
                kValues,
                [](Driver& d) {
                    d.Select(1140, "CUST1TYPE:PLAIN");
                    d.Select(1142, "CUST3TYPE:CARDSTOCK");
                    d.Select(1145, "CUST6TYPE:TRANSPARENCY");
                },
                {{"CUST1TYPE", "PLAIN"}, {"CUST3TYPE", "CARDSTOCK"}, {"CUST6TYPE", "TRANSPARENCY"}}},
           });
}
