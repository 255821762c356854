// The eleven pages: which setting each control shows and stores, one row per control, and each
// page's title. The binding rules themselves (fill, first change, limits, write-only mode) are
// binding_test.cpp's; a row drives its control once through them, with only its own setting in
// the document, so a control bound to another setting shows or stores the wrong one.
#include "support/ui_fixture.h"

#include "dialog_units.h"
#include "group_box.h"
#include "main_frame.h"
#include "page_registry.h"
#include "printer_doc.h"
#include "settings_view.h"
#include "spin_button.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

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
    // The key of the selected item ("" when none is).
    std::string Selected(int id) const {
        QComboBox* combo = Get<QComboBox>(id);
        return combo && combo->currentIndex() >= 0 ? combo->currentData().toString().toStdString() : "";
    }
    std::string Label(int id) const {
        QWidget* control = Get<QWidget>(id);
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
        if (auto* box = qobject_cast<QGroupBox*>(control)) text = box->title();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) text = button->text().trimmed();
        if (auto* title = qobject_cast<QTextEdit*>(control)) text = title->toPlainText();
        return text.toStdString();
    }
    // The control's place in dialog units, as the template gives it.
    bool At(int id, int x, int y, int width) const {
        QWidget* control = Get<QWidget>(id);
        return control &&
               control->geometry().topLeft() == QPoint(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y)) &&
               control->width() == DialogUnitsToPixelsX(width);
    }
    // The user picks the item with `key`; a disabled list cannot be opened.
    void Select(int id, const std::string& key) {
        QComboBox* combo = Get<QComboBox>(id);
        if (!combo || !combo->isEnabled()) return;
        int index = combo->findData(QString::fromStdString(key));
        ASSERT_GE(index, 0) << key;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
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
    void Type(int id, const QString& text) {
        QLineEdit* edit = Get<QLineEdit>(id);
        if (!edit) return;
        edit->setFocus();
        edit->end(false);
        for (QChar c : text)
            QTest::keyClick(edit, c.toLatin1());
    }
    std::string Value(const std::string& name) const {
        auto found = Doc.CurrentValues.find(name);
        return found == Doc.CurrentValues.end() ? "<absent>" : found->second;
    }

    CPrinterDoc Doc;
    QWidget Frame;
    CSettingsView* Page = nullptr; // owned by Frame
};

enum class Kind {
    List,   // shows `shown`; choosing `stored` stores it
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
    const std::string key = c.setting + ":";
    switch (c.kind) {
    case Kind::List:
        EXPECT_EQ(d.Selected(id[0]), key + c.shown);
        d.Select(id[0], key + c.stored);
        return c.stored;
    case Kind::Shown:
        EXPECT_EQ(d.Selected(id[0]), key + c.shown);
        EXPECT_FALSE(d.Enabled(id[0]));
        d.Select(id[0], key + c.stored);
        return c.shown;
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
        if (c.shown == "OFF") { // unchecked, the minimum `stored` shown greyed; checking stores it
            EXPECT_FALSE(d.Checked(id[0]) || d.Enabled(id[1]) || d.Enabled(id[2]));
            EXPECT_EQ(d.Text(id[1]), c.stored);
            d.Click(id[0]);
            EXPECT_TRUE(d.Enabled(id[1]) && d.Enabled(id[2]));
            return c.stored;
        }
        // At a number: a step up stores `stored`, clearing the box stores the off value.
        EXPECT_TRUE(d.Checked(id[0]) && d.Enabled(id[1]) && d.Enabled(id[2]));
        EXPECT_EQ(d.Text(id[1]), c.shown);
        d.StepUp(id[2]);
        EXPECT_EQ(d.Value(c.setting), c.stored);
        d.Click(id[0]);
        EXPECT_FALSE(d.Enabled(id[1]) || d.Enabled(id[2]));
        return "OFF";
    case Kind::Radios:
        EXPECT_FALSE(d.Enabled(id[0])) << "the first radio is shown, never chosen";
        EXPECT_EQ(d.Label(id[0]), "없음");
        EXPECT_EQ(d.Label(id[1]), "꺼짐");
        if (c.shown == "NONE") { // only the number can be chosen; it stores the minimum `stored`
            EXPECT_TRUE(d.Checked(id[0]));
            EXPECT_FALSE(d.Enabled(id[1]) || d.Enabled(id[3]) || d.Enabled(id[4]));
            d.Click(id[1]);
            d.Click(id[2]);
            EXPECT_TRUE(d.Enabled(id[3]) && d.Enabled(id[4]));
            return c.stored;
        }
        // At a number: a step up stores `stored`, the second radio stores off.
        EXPECT_TRUE(d.Checked(id[2]) && d.Enabled(id[3]) && d.Enabled(id[4]));
        EXPECT_EQ(d.Text(id[3]), c.shown);
        d.StepUp(id[4]);
        EXPECT_EQ(d.Value(c.setting), c.stored);
        d.Click(id[1]);
        EXPECT_FALSE(d.Enabled(id[3]) || d.Enabled(id[4]));
        return "OFF";
    }
    return "";
}

// The texture and weight pages: fifteen lists top to bottom, one per paper type; even rows
// hold the page's first value, odd rows its last.
void AddPaperRows(std::vector<Control>& rows, int page, int firstCombo, const std::string& suffix,
                  const std::string& even, const std::string& odd) {
    const char* const names[] = {"PLAIN", "CARDSTK", "TRNSPRNCY", "LABEL", "BOND",
                                 "ENV",   "LTRHD",   "PREPRNT",   "COLOR", "CUST1",
                                 "CUST2", "CUST3",   "CUST4",     "CUST5", "CUST6"};
    // The texture page's lists are not numbered in one run.
    const int texture[] = {1076, 1077, 1080, 1081, 1082, 1083, 1084, 1085,
                           1086, 1088, 1098, 1099, 1100, 1101, 1102};
    for (int i = 0; i < 15; ++i) {
        const int combo = page == 3 ? texture[i] : firstCombo + i;
        rows.push_back({page,
                        Kind::List,
                        {combo},
                        names[i] + suffix,
                        i % 2 ? odd : even,
                        "NORMAL",
                        {combo, 161, 29 + 16 * i, 135}});
    }
}

std::vector<Control> Controls() {
    std::vector<Control> rows = {
        {1, Kind::List, {1018}, "BLANKPGS", "DONTPRINT", "PRINT"},
        {1, Kind::List, {1019}, "SEPSHEETS", "NONE", "BETWEENJOBS"},
        {1, Kind::Shown, {1040}, "SEPSRC", "COLORED", "PLAIN"},
        {1, Kind::List, {1301}, "TRAY1PAPSIZE", "A4", "LEGAL"},
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
        const std::string paper = "CUST" + std::to_string(n + 1);
        rows.push_back({2,
                        Kind::Text,
                        {1154 + n},
                        paper + "NAME",
                        "Name" + std::to_string(n + 1),
                        "Name" + std::to_string(n + 1) + "-ABCDEFGHIJ"});
        rows.push_back(
            {2, Kind::List, {1140 + n}, paper + "TYPE", n % 2 ? "CARDSTOCK" : "LABELS", "ENVELOPE"});
    }
    AddPaperRows(rows, 3, 0, "TXT", "SMOOTH", "ROUGH");
    AddPaperRows(rows, 4, 1108, "WGT", "LIGHT", "HEAVY");
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
        const StringMap before = d.Doc.CurrentValues;
        std::string after = Drive(d, c);
        StringMap expected = before;
        expected[c.setting] = after;
        EXPECT_EQ(d.Doc.CurrentValues, expected);
        EXPECT_EQ(d.Doc.IsModified(), c.kind != Kind::Shown);
    }
}

TEST_F(Pages, TitlesAndLabels) {
    struct Case {
        int page, titleId;
        std::string title;
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
        EXPECT_EQ(d.Label(c.titleId), c.title);
        EXPECT_TRUE(d.At(c.titleId, 15, 10, 296));
        EXPECT_EQ(d.Label(c.labelId), c.label);
        EXPECT_FALSE(d.Doc.IsModified()) << "showing a page changes nothing";
        for (const Control& row : Controls()) { // with no value to show, a check box shows checked
            if (row.page == c.page && row.kind == Kind::Box) {
                EXPECT_TRUE(d.Checked(row.ids[0])) << row.setting;
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

} // namespace
