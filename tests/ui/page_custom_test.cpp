// CCustomView: six name edits (first-change protocol, typing limit) and six type lists.
#include "page_fixture.h"

#include "group_box.h"

#include <QApplication>
#include <QClipboard>
#include <QToolTip>

using namespace pagetest;

namespace {
// Values are held as the printer holds them, in code page 949: "가나다라마바사" is
// B0A1 B3AA B4D9 B6F3 B8B6 B9D9 BBE7 (KS X 1001), 14 bytes.
const std::string kSeven = "\xB0\xA1\xB3\xAA\xB4\xD9\xB6\xF3\xB8\xB6\xB9\xD9\xBB\xE7";
const StringMap kValues = {
    {"CUST1NAME", "Alpha"}, {"CUST2NAME", "ABCDEFGHIJKLMNOPQRST"}, // 20, longer than the limit of 16
    {"CUST3NAME", kSeven},  {"CUST4NAME", "ABCDEFGHIJKLMNOP"},     // exactly 16
    {"CUST5NAME", ""},      {"CUST6NAME", "Six"},
    {"CUST1TYPE", "PLAIN"}, {"CUST2TYPE", "cardstock"},
    {"CUST6TYPE", "GLOSSY"}};
} // namespace

class CustomPage : public PageTest {};

TEST_F(CustomPage, NamesAndTypes) {
    Run(2,
        {
            {"shown: names whole, types selected, nothing stored by the fill",
             kValues,
             nullptr,
             {},
             [](Driver& d) {
                 EXPECT_EQ(d.Text(1155), "ABCDEFGHIJKLMNOPQRST");
                 EXPECT_EQ(d.Text(1156), "가나다라마바사");
                 // A group's title and frame stay above its first row.
                 for (int n = 0; n < 6; ++n) {
                     auto* box = d.Get<CGroupBox>(1166 + n);
                     QRect title = box->TitleRect().translated(box->pos());
                     for (int id : {1160 + n, 1154 + n}) {
                         EXPECT_LE(title.bottom(), d.Get<QWidget>(id)->geometry().top()) << id;
                         EXPECT_LT(box->y() + box->FrameTop(), d.Get<QWidget>(id)->geometry().top()) << id;
                     }
                 }
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
            {"Korean characters count two towards the limit, stored in code page 949",
             kValues,
             [](Driver& d) {
                 d.Type(1156, "xyz아");
                 d.Type(1159, "똠"); // 8C 63: the trail byte is the letter 'c'
             },
             {{"CUST3NAME", kSeven + "xy"}, {"CUST6NAME", "Six\x8C\x63"}}},
            {"a paste keeps the part that fits; characters without a place in the code page are refused",
             kValues,
             [](Driver& d) {
                 QApplication::clipboard()->setText(QString::fromUtf8("가나다라마바"));
                 d.Get<QLineEdit>(1154)->paste();
                 QApplication::clipboard()->setText(QString::fromUtf8("A\U0001F600"));
                 d.Get<QLineEdit>(1158)->paste();
                 EXPECT_EQ(d.Text(1158), "");
             },
             {{"CUST1NAME", "Alpha" + kSeven.substr(0, 10)}}}, // 15 bytes: the sixth syllable would make 17
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
