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
                           {"CUST3TYPE", "LABELS"},
                           {"CUST4TYPE", "ENVELOPE"},
                           {"CUST5TYPE", "TRANSPARENCY"},
                           {"CUST6TYPE", "GLOSSY"}};
const int kNames[] = {1154, 1155, 1156, 1157, 1158, 1159};
const int kTypes[] = {1140, 1141, 1142, 1143, 1144, 1145};
} // namespace

class CustomPage : public PageTest {};

TEST_F(CustomPage, NamesAndTypes) {
    Run(2, {
               {"shown: names whole, types selected, nothing stored by the fill",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    EXPECT_EQ(d.Text(1154), "Alpha");
                    EXPECT_EQ(d.Text(1155), "ABCDEFGHIJKLMNOPQRST");
                    EXPECT_EQ(d.Text(1156), "가나다라마바사");
                    EXPECT_EQ(d.Selected(1141), "CUST2TYPE:CARDSTOCK");
                    EXPECT_EQ(d.Selected(1143), "CUST4TYPE:ENVELOPE");
                    EXPECT_EQ(d.Selected(1145), "");
                    EXPECT_EQ(d.Label(1283), " 용지  >  사용자");
                    for (int n = 0; n < 6; ++n) {
                        EXPECT_EQ(d.Label(1166 + n), "사용자 " + std::to_string(n + 1));
                        EXPECT_EQ(d.Label(1160 + n), "이름");
                        EXPECT_EQ(d.Label(1146 + n), "용지 종류");
                    }
                    EXPECT_TRUE(d.At(1154, 151, 40, 135));
                    EXPECT_TRUE(d.At(1158, 151, 239, 135));
                    EXPECT_TRUE(d.At(1145, 151, 304, 135));
                }},
               {"one keystroke after showing stores the whole name",
                kValues,
                [](Driver& d) { d.Type(1154, "X"); },
                {{"CUST1NAME", "AlphaX"}}},
               {"every keystroke stores",
                kValues,
                [](Driver& d) {
                    d.Type(1158, "a");
                    EXPECT_EQ(d.Doc.CurrentValues["CUST5NAME"], "a") << "after the first key";
                    d.Type(1158, "b");
                    d.Type(1159, "!");
                },
                {{"CUST5NAME", "ab"}, {"CUST6NAME", "Six!"}}},
               {"a name longer than the limit takes no more typing, only shortening",
                kValues,
                [](Driver& d) {
                    d.Type(1155, "Z");
                    EXPECT_EQ(d.Text(1155), "ABCDEFGHIJKLMNOPQRST");
                    d.Backspace(1155);
                    d.Type(1155, "Z");
                },
                {{"CUST2NAME", "ABCDEFGHIJKLMNOPQRS"}}},
               {"a name at the limit takes no more typing",
                kValues,
                [](Driver& d) { d.Type(1157, "Q"); },
                {},
                [](Driver& d) { EXPECT_EQ(d.Text(1157), "ABCDEFGHIJKLMNOP"); }},
               {"Korean characters count two towards the limit",
                kValues,
                [](Driver& d) { d.Type(1156, "xyz아"); },
                {{"CUST3NAME", "가나다라마바사xy"}}},
               {"each type list stores its choice",
                kValues,
                [](Driver& d) {
                    const char* keys[] = {"CUST1TYPE:ENVELOPE", "CUST2TYPE:PLAIN", "CUST3TYPE:CARDSTOCK",
                                          "CUST4TYPE:LABELS",   "CUST5TYPE:PLAIN", "CUST6TYPE:TRANSPARENCY"};
                    for (int n = 0; n < 6; ++n)
                        d.Select(kTypes[n], keys[n]);
                },
                {{"CUST1TYPE", "ENVELOPE"},
                 {"CUST2TYPE", "PLAIN"},
                 {"CUST3TYPE", "CARDSTOCK"},
                 {"CUST4TYPE", "LABELS"},
                 {"CUST5TYPE", "PLAIN"},
                 {"CUST6TYPE", "TRANSPARENCY"}}},
               {"re-selecting the selected type stores it again",
                kValues,
                [](Driver& d) { d.Select(1140, "CUST1TYPE:PLAIN"); },
                {{"CUST1TYPE", "PLAIN"}}},
               {"a new view update swallows its own fill again",
                kValues,
                [](Driver& d) { d.Page->OnInitialUpdate(); },
                {},
                [](Driver& d) {
                    for (int id : kNames)
                        EXPECT_TRUE(d.Enabled(id));
                }},
           });
}
