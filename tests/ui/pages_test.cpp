// The eleven pages and the binding rules they share. One row per control: which setting it shows
// and stores, driven once with only its own setting in the document, so a control bound to
// another setting shows or stores the wrong one. Then the titles, absent values, text limits in
// code-page bytes, and the up-down's number conversions.
#include "support/ui_fixture.h"

#include "binding_text.h"
#include "dialog_units.h"
#include "group_box.h"
#include "page_registry.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QToolButton>

namespace {

// A page shown in a window, over a document holding `values`.
struct Driver {
    Driver(int pageId, const StringMap& values) {
        Doc.OnNewDocument("LPT1", values, 0);
        Frame.show();
        Page = CreatePageView(pageId, &Doc);
        Page->setParent(&Frame);
        Page->show();
        Page->OnInitialUpdate();
    }
    template <class T> T* Get(int id) const {
        T* control = Page->ControlAs<T>(id);
        EXPECT_NE(control, nullptr) << "control " << id;
        return control;
    }
    bool Enabled(int id) const { return Get<QWidget>(id) && Get<QWidget>(id)->isEnabled(); }
    bool Checked(int id) const { return Get<QAbstractButton>(id) && Get<QAbstractButton>(id)->isChecked(); }
    std::string Text(int id) const {
        return Get<QLineEdit>(id) ? Get<QLineEdit>(id)->text().toStdString() : "";
    }
    std::string Label(int id) const {
        QWidget* control = Get<QWidget>(id);
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
        if (auto* box = qobject_cast<QGroupBox*>(control)) text = box->title();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) text = button->text().trimmed();
        return text.toStdString();
    }
    // The control's place in dialog units, as the template gives it.
    bool At(int id, int x, int y, int width) const {
        QWidget* control = Get<QWidget>(id);
        return control &&
               control->geometry().topLeft() == QPoint(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y)) &&
               control->width() == DialogUnitsToPixelsX(width);
    }
    void Click(int id) {
        if (QAbstractButton* button = Get<QAbstractButton>(id)) button->click();
    }
    // One click on the up arrow of an up-down control.
    void StepUp(int id) {
        CSpinButton* spin = Get<CSpinButton>(id);
        QToolButton* arrow = spin ? spin->findChild<QToolButton*>("up") : nullptr;
        ASSERT_NE(arrow, nullptr);
        arrow->click();
    }
    // Keystrokes at the end of the edit; a character beyond ASCII comes through an input method.
    void Type(int id, const QString& text) {
        QLineEdit* edit = Get<QLineEdit>(id);
        if (!edit) return;
        edit->setFocus();
        edit->end(false);
        for (QChar c : text)
            if (c.unicode() < 0x80)
                QTest::keyClick(edit, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

    CPrinterDoc Doc;
    QWidget Frame;
    CSettingsView* Page = nullptr; // owned by Frame
};

enum class Kind {
    List,   // shows `shown` (any case); choosing `stored` stores it; items sorted by text
    Shown,  // a list that only shows its value: disabled, stores nothing
    Box,    // at its cleared value `shown`: unchecked; a click stores `stored`
    Text,   // shows `shown`; typing past the limit stores `stored`
    Number, // {edit, up-down}: shows `shown`; a step up stores `stored`
    Timer,  // {box, edit, up-down}, switched off by the box, see Drive
    Radios, // {first, second, number, edit, up-down}: "없음", "꺼짐" or a number, see Drive
};

struct Control {
    int page;
    Kind kind;
    std::vector<int> ids;
    std::string setting, shown, stored;
    std::vector<int> at{}; // a control of the row's page and its x, y and width, where the row checks one
};

// Drives the row's control as a user would; the setting's value afterwards.
std::string Drive(Driver& d, const Control& c) {
    const std::vector<int>& id = c.ids;
    switch (c.kind) {
    case Kind::List:
    case Kind::Shown: {
        QComboBox* combo = d.Get<QComboBox>(id[0]);
        if (!combo) return "";
        EXPECT_EQ(combo->currentData().toString(),
                  QString::fromStdString(c.setting + ":" + c.shown).toUpper());
        for (int i = 1; i < combo->count(); ++i) // a sorted combo box
            EXPECT_LE(QString::compare(combo->itemText(i - 1), combo->itemText(i), Qt::CaseInsensitive), 0);
        EXPECT_EQ(combo->isEnabled(), c.kind == Kind::List);
        if (!combo->isEnabled()) return c.shown; // a disabled list cannot be opened
        combo->setCurrentIndex(combo->findData(QString::fromStdString(c.setting + ":" + c.stored)));
        emit combo->activated(combo->currentIndex());
        return c.stored;
    }
    case Kind::Box:
        EXPECT_FALSE(d.Checked(id[0]));
        d.Click(id[0]);
        return c.stored;
    case Kind::Text:
        EXPECT_EQ(d.Text(id[0]), c.shown);
        d.Type(id[0], "-ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        return c.stored;
    case Kind::Number:
        EXPECT_EQ(d.Text(id[0]), c.shown);
        d.StepUp(id[1]);
        return c.stored;
    case Kind::Timer:
    case Kind::Radios: {
        // The number's own control (box or radio), the one that switches it off, its edit and up-down.
        const bool radios = c.kind == Kind::Radios;
        const int number = id[radios ? 2 : 0], off = id[radios ? 1 : 0], edit = id[id.size() - 2];
        const int spin = id.back();
        if (radios) {
            EXPECT_FALSE(d.Enabled(id[0])) << "the first radio is shown, never chosen";
            EXPECT_EQ(d.Label(id[0]) + " " + d.Label(id[1]), "없음 꺼짐");
        }
        if (c.shown == "OFF" || c.shown == "NONE") { // greyed at the minimum `stored`; the number stores it
            EXPECT_FALSE(d.Checked(number) || d.Enabled(edit) || d.Enabled(spin));
            EXPECT_EQ(d.Text(edit), c.stored);
            EXPECT_TRUE(!radios || (d.Checked(id[0]) && !d.Enabled(off))) << "from none only a number";
            if (radios) d.Click(off);
            d.Click(number);
            EXPECT_TRUE(d.Enabled(edit) && d.Enabled(spin));
            return c.stored;
        }
        // At a number: a step up stores `stored`, switching it off stores the off value.
        EXPECT_TRUE(d.Checked(number) && d.Enabled(edit) && d.Enabled(spin));
        EXPECT_EQ(d.Text(edit), c.shown);
        d.StepUp(spin);
        EXPECT_EQ(d.Doc.CurrentValues[c.setting], c.stored);
        d.Click(off);
        EXPECT_FALSE(d.Enabled(edit) || d.Enabled(spin));
        return "OFF";
    }
    }
    return "";
}

std::vector<Control> Controls() {
    std::vector<Control> rows = {
        {1, Kind::List, {1018}, "BLANKPGS", "dontprint", "PRINT"}, // a value in lower case selects its key
        {1, Kind::List, {1019}, "SEPSHEETS", "NONE", "BETWEENJOBS"},
        {1, Kind::Shown, {1040}, "SEPSRC", "COLORED", "PLAIN"},
        {1, Kind::List, {1301}, "TRAY1PAPSIZE", "A4", "LEGAL"}, // not in text order in the catalogue
        {1, Kind::List, {1302}, "TRAY1PAPTYPE", "CARDSTOCK", "LABELS"},
        {1, Kind::List, {1303}, "TRAY2PAPSIZE", "A5", "LETTER"},
        {1, Kind::List, {1304}, "TRAY2PAPTYPE", "CUSTOM3", "CUSTOM6", {1304, 161, 168, 135}},
        {5, Kind::List, {1044}, "TONERALARM", "SINGLE", "CONTINUOUS"},
        {5, Kind::Box, {1046}, "DKMX", "OFF", "ON", {1046, 30, 45, 138}},
        {6, Kind::List, {1240}, "EMULATION", "PS2", "AUTO"},
        {6, Kind::List, {1242}, "JAMRCVRY", "AUTO", "OFF"},
        {6, Kind::List, {1244}, "LANGUAGE", "FRENCH", "JAPANESE"},
        {6, Kind::List, {1245}, "PRTAREA", "NORMAL", "WHOLEPAGE"},
        {6, Kind::Text, {1247}, "PROPTAG", "Office 3", "Office 3-ABCDEFGHIJKLMNOPQRSTUVW"}, // 32
        {6, Kind::Timer, {1250, 1251, 1252}, "PWRSVR", "OFF", "1", {1251, 177, 109, 34}},
        {6, Kind::Timer, {1254, 1255, 1256}, "PRTTIMEOUT", "30", "31"},
        {6, Kind::Timer, {1258, 1259, 1260}, "AUTOCONT", "OFF", "5"},
        {6, Kind::Box, {1262}, "RESRED", "OFF", "ON"},
        {6, Kind::Box, {1264}, "RESSAV", "OFF", "ON"},
        {6, Kind::Box, {1266}, "RESETCTRL", "OFF", "ON"},
        {6, Kind::Box, {1268}, "PRTBUFCTRL", "OFF", "ON"},
        {7, Kind::List, {1272}, "A4WIDTH", "203MM", "198MM"},
        {7, Kind::Box, {1274}, "AUTOCR", "OFF", "ON"},
        {7, Kind::Box, {1276}, "AUTOLF", "OFF", "ON"},
        {7, Kind::Number, {1278, 1279}, "LINESPERPG", "60", "61"},
        {8, Kind::Radios, {1196, 1197, 1198, 1201, 1202}, "ASSIGNTRAY1", "NONE", "0", {1203, 31, 29, 105}},
        {8, Kind::Radios, {1213, 1214, 1215, 1216, 1217}, "ASSIGNTRAY2", "7", "8"},
        {8, Kind::Radios, {1221, 1222, 1223, 1224, 1225}, "ASSIGNMANPAPER", "12", "13"},
        {8, Kind::Radios, {1235, 1234, 1233, 1232, 1231}, "ASSIGNMANENV", "NONE", "0", {1233, 200, 167, 10}},
        {9, Kind::Timer, {1180, 1181, 1182}, "FEEDTIMEOUT", "OFF", "15", {1180, 30, 29, 136}},
        {9, Kind::Timer, {1184, 1185, 1186}, "JOBTIMEOUT", "999", "1000"}, // digits only
        {9, Kind::Timer, {1188, 1189, 1190}, "WAITTIMEOUT", "32766", "32767"},
        {9, Kind::List, {1194}, "FONTPRIORITY", "FLASHDISK", "DOWNLOAD"},
        {10, Kind::Box, {1058}, "MODE1", "OFF", "ON", {1058, 30, 29, 139}},
        {10, Kind::Box, {1059}, "MODE2", "OFF", "ON", {1059, 30, 45, 139}},
        {10, Kind::Box, {1060}, "ADVSTATUS", "OFF", "ON", {1060, 30, 61, 139}},
        {10, Kind::Box, {1061}, "HONORINIT", "OFF", "ON", {1061, 30, 77, 139}},
        {10, Kind::Box, {1062}, "PARPCLEMUFLP", "OFF", "ON", {1062, 30, 93, 139}},
        {10, Kind::Box, {1063}, "PARPSEMUFLP", "OFF", "ON", {1063, 30, 109, 139}},
        {10, Kind::List, {1064}, "PROTOCOL", "FASTBYTES", "STANDARD"},
        {11, Kind::Box, {1052}, "USBPCLEMUFLP", "OFF", "ON", {1052, 33, 26, 137}},
        {11, Kind::Box, {1053}, "USBPSEMUFLP", "OFF", "ON", {1053, 33, 42, 137}},
    };
    for (int n = 0; n < 6; ++n) { // the custom page: a name (16 bytes at most) and a type per paper
        const std::string paper = "CUST" + std::to_string(n + 1), name = "Name" + std::to_string(n + 1);
        rows.push_back({2, Kind::Text, {1154 + n}, paper + "NAME", name, name + "-ABCDEFGHIJ"});
        rows.push_back(
            {2, Kind::List, {1140 + n}, paper + "TYPE", n % 2 ? "CARDSTOCK" : "LABELS", "ENVELOPE"});
    }
    // The texture and weight pages: fifteen lists top to bottom, one per paper type; even rows
    // hold the page's first value, odd rows its last. The texture page's lists are not numbered in one run.
    const char* const papers[] = {"PLAIN", "CARDSTK", "TRNSPRNCY", "LABEL", "BOND",
                                  "ENV",   "LTRHD",   "PREPRNT",   "COLOR", "CUST1",
                                  "CUST2", "CUST3",   "CUST4",     "CUST5", "CUST6"};
    const int texture[] = {1076, 1077, 1080, 1081, 1082, 1083, 1084, 1085,
                           1086, 1088, 1098, 1099, 1100, 1101, 1102};
    for (int i = 0; i < 15; ++i) {
        const int y = 29 + 16 * i, t = texture[i], w = 1108 + i; // the row's lists on the two pages
        const std::string p = papers[i];
        rows.push_back(
            {3, Kind::List, {t}, p + "TXT", i % 2 ? "ROUGH" : "SMOOTH", "NORMAL", {t, 161, y, 135}});
        rows.push_back(
            {4, Kind::List, {w}, p + "WGT", i % 2 ? "HEAVY" : "LIGHT", "NORMAL", {w, 161, y, 135}});
    }
    return rows;
}

class Pages : public UiFixture {};

TEST_F(Pages, EachControlShowsAndStoresItsOwnSetting) {
    for (const Control& c : Controls()) {
        SCOPED_TRACE("page " + std::to_string(c.page) + ", " + c.setting);
        Driver d(c.page, {{c.setting, c.shown}});
        ASSERT_TRUE(d.Page->TemplateError().empty()) << d.Page->TemplateError();
        if (!c.at.empty()) {
            EXPECT_TRUE(d.At(c.at[0], c.at[1], c.at[2], c.at[3])) << c.at[0];
        }
        StringMap expected = d.Doc.CurrentValues;
        expected[c.setting] = Drive(d, c);
        EXPECT_EQ(d.Doc.CurrentValues, expected);
        EXPECT_EQ(d.Doc.IsModified(), c.kind != Kind::Shown);
    }
}

// Each page's title, bold from just after its last '>', one of its labels, and what its
// controls show for settings the document lacks.
TEST_F(Pages, TitlesLabelsAndAbsentValues) {
    struct Case {
        int page, titleId;
        QString title;
        int labelId;
        std::string label;
    };
    const Case cases[] = {
        {1, 1282, " 용지", 1296, "트레이 2"},
        {2, 1283, " 용지  >  사용자", 1146, "용지 종류"},
        {3, 1284, " 용지  >  용지 구조", 1094, "레터 헤드"},
        {4, 1285, " 용지  >  용지 무게", 1129, "레터헤드"},
        {5, 1287, " 마무리", 1047, "토너 알람"},
        {6, 1288, " 설정", 1243, "디스플레이 언어"},
        {7, 1289, " PCL 에뮬레이션", 1277, "페이지당 라인"},
        {8, 1294, " PCL 에뮬레이션  >  트레이 번호", 1228, "수동 봉투 지정"},
        {9, 1290, " 포스트스크립트", 1195, "글꼴 우선 순위"},
        {10, 1291, " 포트  >  병렬", 1061, "Honor Init"},
        {11, 1292, " 포트  >  USB", 1052, "PCL Emuflip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        Driver d(c.page, {});
        auto* title = d.Get<QTextEdit>(c.titleId);
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->toPlainText(), c.title);
        EXPECT_TRUE(d.At(c.titleId, 15, 10, 296));
        EXPECT_TRUE(!title->isEnabled() && title->isReadOnly());
        QTextCursor cursor(title->document());
        for (int i = 0; i < c.title.size(); ++i) {
            cursor.setPosition(i + 1);
            EXPECT_EQ(cursor.charFormat().fontWeight() == QFont::Bold, i > c.title.lastIndexOf('>')) << i;
        }
        EXPECT_EQ(d.Label(c.labelId), c.label);
        EXPECT_FALSE(d.Doc.IsModified()) << "showing a page changes nothing";
        for (const Control& row : Controls()) { // absent: checked, empty, the range's nearest end
            if (row.page != c.page) continue;
            if (row.kind == Kind::Box || row.kind == Kind::Radios) {
                EXPECT_TRUE(d.Checked(row.ids[row.kind == Kind::Box ? 0 : 2])) << row.setting;
            } else if (row.kind == Kind::Text || row.kind == Kind::Number) {
                EXPECT_EQ(d.Text(row.ids[0]), row.kind == Kind::Text ? "" : "5") << row.setting;
            }
        }
    }
    // The custom page's groups: each title and frame stays above its name and type rows.
    Driver d(2, {});
    for (int n = 0; n < 6; ++n) {
        auto* box = d.Get<CGroupBox>(1166 + n);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(d.Label(1166 + n), "사용자 " + std::to_string(n + 1));
        for (int id : {1160 + n, 1154 + n}) {
            EXPECT_LE(box->TitleRect().translated(box->pos()).bottom(), d.Get<QWidget>(id)->geometry().top());
            EXPECT_LT(box->y() + box->FrameTop(), d.Get<QWidget>(id)->geometry().top()) << id;
        }
    }
}

// The custom page's first name: 16 bytes of code page 949 at most. Typed text comes key by key
// ('\b' a backspace), pasted text at once.
TEST_F(Pages, TextLimitCountsCodePageBytes) {
    // "가나다라마바사" is B0A1 B3AA B4D9 B6F3 B8B6 B9D9 BBE7, "아" BEC6; "똠" is 8C 63, its trail byte 'c'.
    const std::string k14 = "\xB0\xA1\xB3\xAA\xB4\xD9\xB6\xF3\xB8\xB6\xB9\xD9\xBB\xE7";
    struct Case {
        std::string value; // before
        QString shown, input;
        bool paste;
        std::string stored;
    };
    const Case cases[] = {
        {k14, "가나다라마바사", "x아y", false, k14 + "xy"},     // a syllable refused, a letter fits
        {"", "", "똠", false, "\x8C\x63"},                      // a trail byte that is a letter: stored whole
        {"", "", "가나다라마바사아자", true, k14 + "\xBE\xC6"}, // a paste keeps the part that fits
        {"ab", "ab", "A\U0001F600", true, "ab"}, // a character the code page lacks: the paste refused
        {"ABCDEFGHIJKLMNOPQR", "ABCDEFGHIJKLMNOPQR", "Z\b", false,
         "ABCDEFGHIJKLMNOPQ"}, // longer: only shortened
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        Driver d(2, {{"CUST1NAME", c.value}});
        QLineEdit* edit = d.Get<QLineEdit>(1154);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), c.shown);
        QApplication::clipboard()->setText(c.input);
        if (c.paste)
            edit->paste();
        else
            d.Type(1154, c.input);
        EXPECT_EQ(d.Doc.CurrentValues["CUST1NAME"], c.stored);
    }
}

// Up-down numbers keep the low 16 bits of the leading number; keys compare without case, a double-byte
// character whole.
TEST(BindingText, NumbersAndKeys) {
    const std::pair<const char*, int> cases[] = {
        {"42", 42},    {"  +42abc", 42},  {"-7", -7},        {"abc", 0},        {"", 0},      {"70000", 4464},
        {"65535", -1}, {"32768", -32768}, {" \t-0012", -12}, {"4294967297", 1}, {"1,500", 1},
    };
    for (const auto& [text, position] : cases)
        EXPECT_EQ(SpinPositionFromText(text), position) << '"' << text << '"';

    // In code page 949 "똠" is 8C 63: its trail byte has the value of 'c', and 8C 43 is another syllable.
    const std::tuple<const char*, const char*, bool> keys[] = {
        {"BLANKPGS:noprint", "BLANKPGS:NOPRINT", true},
        {"\x8C\x63", "\x8C\x43", false},
        {"x\x8C\x63", "X\x8C\x63", true},
        {"ab", "abc", false},
    };
    for (const auto& [a, b, equal] : keys)
        EXPECT_EQ(EqualNoCase(a, b), equal) << a << " / " << b;
}

TEST_F(Pages, UpDownStepsWithinItsRangeAndRewritesItsEdit) {
    struct Case {
        int minimum, maximum, start;
        std::vector<int> steps;
        const char* shown;
        int changes; // text-changed notifications after the start
    };
    const Case cases[] = {
        {0, 10, 9, {+1, +1, +1}, "10", 1},
        {0, 10, 1, {-1, -1, -1}, "0", 1},
        {10, 0, 5, {+1, +1}, "3", 2}, // a downward range: up lowers the number
        {0, 2000, 999, {+1}, "1,000", 1},
        {-2000, 0, -999, {-1}, "-1,000", 1},
        {5, 9, 70, {}, "9", 0}, // clamped into the range when set
    };
    QWidget parent;
    for (const Case& c : cases) {
        QLineEdit edit(&parent);
        CSpinButton spin(&parent);
        spin.SetBuddy(&edit);
        spin.SetRange32(c.minimum, c.maximum);
        spin.SetPos32(c.start);
        int changes = 0;
        QObject::connect(&edit, &QLineEdit::textChanged, [&] { ++changes; });
        for (int step : c.steps)
            QTest::keyClick(&edit, step > 0 ? Qt::Key_Up : Qt::Key_Down);
        EXPECT_EQ(edit.text(), c.shown) << c.minimum << ".." << c.maximum << " from " << c.start;
        EXPECT_EQ(changes, c.changes);
    }
}

} // namespace
