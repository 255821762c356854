// The page base, driven as a user drives a page, where the shipped pages do not
// reach it: list order, absent values, the save command's greying, the title
// line, text limits in code-page bytes and the up-down's number conversions. The write-only rules (the save
// command, changes kept apart) are tested here once; pages_test.cpp drives each control of the shipped pages
// once, in normal mode.
#include "support/ui_fixture.h"

#include "binding_text.h"
#include "dialog_template.h"
#include "main_frame.h"
#include "page_registry.h"
#include "printer_doc.h"
#include "settings_view.h"
#include "template_builder.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <functional>

namespace {

const char kTemplate[] = R"(DIALOG 900 326 231
TITLE 10 15 10 296 10
COMBOBOX 11 161 29 135 45 GROUP
CHECKBOX 12 31 45 139 12 "자동 CR        "
EDITTEXT 13 151 61 135 12
NUMEDIT 14 187 77 40 12
UPDOWN 15 227 77 11 10
CHECKBOX 16 31 93 139 12 "절전 모드"
NUMEDIT 17 187 93 40 12 DISABLED
UPDOWN 18 227 93 11 10 DISABLED
RADIOBUTTON 19 30 109 85 12 GROUP "없음"
RADIOBUTTON 20 30 121 85 12 "꺼짐"
RADIOBUTTON 21 30 133 10 12
NUMEDIT 22 45 133 40 12 DISABLED
UPDOWN 23 85 133 11 10 DISABLED
)";

// A page with one control of each kind, written as the pages are.
class BindingPage : public CSettingsView {
  public:
    explicit BindingPage(CPrinterDoc* doc) : CSettingsView(doc) {
        DialogTemplate form;
        std::string error;
        EXPECT_TRUE(ParseDialogTemplate(kTemplate, form, error)) << error;
        BuildTemplateControls(form, this);
    }

    ValueList list{{"BLANKPGS:PRINT", "인쇄"}, {"BLANKPGS:NOPRINT", "인쇄 금지"}, {"BLANKPGS:AUTO", "자동"}};
    CheckPair pair{"AUTOCR:OFF", "AUTOCR:ON"};
    TextSetting text{"CUSTNAME", 8};
    RangeSetting range{"LINES", 5, 128};
    SwitchedRange switched{"PWRSVR", 1, 9999, "OFF"};
    RadioRange radio{"TRAY1", 1, 199, "NONE", "OFF"};

    QTextEdit* title = nullptr;
    QComboBox* combo = nullptr;
    QCheckBox* check = nullptr;
    QLineEdit* edit = nullptr;
    CSpinButton* spin = nullptr;
    QCheckBox* switchCheck = nullptr;
    CSpinButton* switchSpin = nullptr;
    QRadioButton* first = nullptr;
    QRadioButton* second = nullptr;
    QRadioButton* number = nullptr;
    CSpinButton* radioSpin = nullptr;
    int textFlag = 0, rangeFlag = 0, switchFlag = 0, radioFlag = 0;

    void FillControls() override {
        FillCombo(list, combo);
        FillCheck(pair, check);
        FillText(text, edit);
        FillSpin(range, spin);
        FillSwitchedSpin(switched, switchSpin, switchCheck);
        FillRadioSpin(radio, radioSpin, first, second, number);
        UpdateData();
    }
    using CSettingsView::ShowTitle;

  protected:
    void DoDataExchange() override {
        DDX_Control(10, title);
        DDX_Control(11, combo);
        DDX_Control(12, check);
        DDX_Control(13, edit);
        DDX_Control(15, spin);
        DDX_Control(16, switchCheck);
        DDX_Control(18, switchSpin);
        DDX_Control(19, first);
        DDX_Control(20, second);
        DDX_Control(21, number);
        DDX_Control(23, radioSpin);
    }
    void ConnectHandlers() override {
        HandleCombo(combo);
        HandleCheck(check, pair);
        HandleText(edit, textFlag, text);
        HandleSpinEdit(spin->GetBuddy(), rangeFlag, range);
        HandleSwitchedCheck(switchCheck, switchSpin, switched);
        HandleSwitchedEdit(switchSpin->GetBuddy(), switchFlag, switchCheck, switched);
        HandleRadios(first, second, number, radioSpin, radioFlag, radio);
    }
    void OnUpdate() override {
        textFlag = rangeFlag = switchFlag = radioFlag = 0;
        FillControls();
        ShowTitle(title, 61292);
    }
};

ORBIS_REGISTER_PAGE(900, BindingPage)

void Choose(QComboBox* combo, const QString& text) {
    int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

std::string Value(CPrinterDoc& doc, const std::string& name) {
    auto found = doc.CurrentValues.find(name);
    return found == doc.CurrentValues.end() ? "<absent>" : found->second;
}

class Binding : public UiFixture {};

struct BindingCase {
    const char* what;
    StringMap values;
    std::function<void(BindingPage&, CPrinterDoc&)> run;
};

TEST_F(Binding, FillShowsWhatNoShippedPageShows) {
    const BindingCase cases[] = {
        {"combo box keeps items sorted by text and a lower-case value selects the upper-case key",
         {{"BLANKPGS", "noprint"}},
         [](BindingPage& page, CPrinterDoc& doc) {
             EXPECT_EQ(Items(page.combo), QStringList({"인쇄", "인쇄 금지", "자동"}));
             EXPECT_EQ(page.combo->currentText(), "인쇄 금지");
             Choose(page.combo, "자동");
             EXPECT_EQ(Value(doc, "BLANKPGS"), "AUTO");
         }},
        {"absent names: check box checked, numbers at the range's nearest end, empty text",
         {},
         [](BindingPage& page, CPrinterDoc&) {
             EXPECT_TRUE(page.check->isChecked());
             EXPECT_EQ(page.spin->GetBuddy()->text(), "5");
             EXPECT_EQ(page.edit->text(), "");
             EXPECT_TRUE(page.number->isChecked());
         }},
    };
    for (const BindingCase& c : cases) {
        SCOPED_TRACE(c.what);
        CPrinterDoc& doc = MakeDocument(c.values);
        MakeFrame();
        auto* page = dynamic_cast<BindingPage*>(ShowPage(900));
        ASSERT_NE(page, nullptr);
        EXPECT_FALSE(doc.IsModified());
        c.run(*page, doc);
        frame_.reset();
    }
}

TEST_F(Binding, SaveCommandGreysOnceInWriteOnlyModeAndTheFirstChangeEnablesIt) {
    for (int writeOnly : {0, 1}) {
        SCOPED_TRACE(writeOnly ? "write-only" : "two-way");
        CPrinterDoc& doc = MakeDocument({{"AUTOCR", "ON"}}, writeOnly);
        CMainFrame& frame = MakeFrame();
        QAction* save = frame.Command(kCmdSaveCommandFile);
        ASSERT_NE(save, nullptr);
        EXPECT_EQ(save->isEnabled(), writeOnly == 0) << "the blank page greys it in write-only mode";
        EXPECT_EQ(doc.SaveMenuChecked, 1);
        auto* page = dynamic_cast<BindingPage*>(ShowPage(900));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(save->isEnabled(), writeOnly == 0);
        page->check->click();
        EXPECT_TRUE(save->isEnabled());
        EXPECT_TRUE(doc.IsModified());
        StringMap changes = writeOnly ? StringMap{{"AUTOCR", "OFF"}} : StringMap();
        EXPECT_EQ(doc.ChangedValues, changes) << "only write-only mode keeps the changes apart";
        page = dynamic_cast<BindingPage*>(ShowPage(900));
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(save->isEnabled()) << "a later page does not grey it again";
        frame_.reset();
    }
}

// Keystrokes into a text edit; a character beyond ASCII comes through an input method.
void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->end(false);
    for (QChar c : text)
        if (c.unicode() < 0x80)
            QTest::keyClick(edit, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

TEST_F(Binding, TextLimitCountsCodePageBytes) {
    // Code page 949: "가나다라" is B0A1 B3AA B4D9 B6F3; "똠" is 8C 63, its trail byte the letter 'c'.
    const std::string kGaNaDa = "\xB0\xA1\xB3\xAA\xB4\xD9";
    auto type = [](QString text) { return [text](QLineEdit* edit) { TypeInto(edit, text); }; };
    auto paste = [](QString text) {
        return [text](QLineEdit* edit) {
            QApplication::clipboard()->setText(text);
            edit->paste();
        };
    };
    struct Case {
        const char* what;
        std::string value; // of the 8-byte text before
        QString shown;
        std::function<void(QLineEdit*)> act;
        std::string stored;
    };
    const Case cases[] = {
        {"a syllable past the limit is refused, a letter after it fits", kGaNaDa, "가나다", type("x아y"),
         kGaNaDa + "xy"},
        {"a syllable whose trail byte is a letter is stored whole", "", "", type("똠"), "\x8C\x63"},
        {"a paste keeps the part that fits", "", "", paste("가나다라마"), kGaNaDa + "\xB6\xF3"},
        {"a paste with a character the code page lacks is refused", "ab", "ab", paste("A\U0001F600"), "ab"},
        {"a longer value is shown whole and only shortened", "ABCDEFGHIJ", "ABCDEFGHIJ",
         [&](QLineEdit* edit) {
             type("Z")(edit);
             QTest::keyClick(edit, Qt::Key_Backspace);
         },
         "ABCDEFGHI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPrinterDoc& doc = MakeDocument({{"CUSTNAME", c.value}});
        MakeFrame();
        auto* page = dynamic_cast<BindingPage*>(ShowPage(900));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->edit->text(), c.shown);
        c.act(page->edit);
        EXPECT_EQ(Value(doc, "CUSTNAME"), c.stored);
        frame_.reset();
    }
}

TEST_F(Binding, TitleLineIsBoldFromJustAfterTheLastAngleBracket) {
    struct Case {
        unsigned id;
        QString normal;
        QString bold;
    };
    const Case cases[] = {{61292, " 용지  >", "  사용자"},
                          {61299, " PCL 에뮬레이션  >", "  트레이 번호"},
                          {61297, "", " 설정"}};
    MakeDocument({});
    MakeFrame();
    auto* page = dynamic_cast<BindingPage*>(ShowPage(900));
    ASSERT_NE(page, nullptr);
    for (const Case& c : cases) {
        page->ShowTitle(page->title, c.id);
        EXPECT_EQ(page->title->toPlainText(), c.normal + c.bold);
        QTextCursor cursor(page->title->document());
        for (int i = 0; i < (c.normal + c.bold).size(); ++i) {
            cursor.setPosition(i + 1);
            bool isBold = cursor.charFormat().fontWeight() == QFont::Bold;
            EXPECT_EQ(isBold, i >= c.normal.size()) << "character " << i << " of " << c.id;
        }
        EXPECT_FALSE(page->title->isEnabled());
        EXPECT_TRUE(page->title->isReadOnly());
    }
}

TEST(BindingText, NumberConversionKeepsTheLow16BitsOfTheLeadingNumber) {
    const std::pair<const char*, int> cases[] = {
        {"42", 42},    {"  +42abc", 42},  {"-7", -7},        {"abc", 0},        {"", 0},      {"70000", 4464},
        {"65535", -1}, {"32768", -32768}, {" \t-0012", -12}, {"4294967297", 1}, {"1,500", 1},
    };
    for (const auto& [text, position] : cases)
        EXPECT_EQ(SpinPositionFromText(text), position) << '"' << text << '"';
}

TEST(BindingText, KeysCompareWithoutCaseAndDoubleByteCharactersWhole) {
    // In code page 949 "똠" is 8C 63: its trail byte has the value of 'c', and 8C 43 is another syllable.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"BLANKPGS:noprint", "BLANKPGS:NOPRINT", true},
        {"\x8C\x63", "\x8C\x43", false},
        {"x\x8C\x63", "X\x8C\x63", true},
        {"ab", "abc", false},
    };
    for (const auto& [a, b, equal] : cases)
        EXPECT_EQ(EqualNoCase(a, b), equal) << a << " / " << b;
}

TEST(BindingText, PositionsPrintWithOrWithoutThousandsSeparators) {
    const std::tuple<int, bool, const char*> cases[] = {
        {0, true, "0"},          {999, true, "999"},        {1000, true, "1,000"},
        {-1000, true, "-1,000"}, {12345, true, "12,345"},   {1234567, true, "1,234,567"},
        {1000, false, "1000"},   {-32768, false, "-32768"},
    };
    for (const auto& [position, thousands, text] : cases)
        EXPECT_EQ(FormatSpinPosition(position, thousands), text);
}

TEST_F(Binding, UpDownStepsWithinItsRangeAndRewritesItsEdit) {
    struct Case {
        int minimum, maximum, start;
        std::vector<int> steps;
        const char* shown;
        int changes; // text-changed notifications after the start
    };
    const Case cases[] = {
        {0, 10, 9, {+1, +1, +1}, "10", 1}, {0, 10, 1, {-1, -1, -1}, "0", 1},
        {10, 0, 5, {+1, +1}, "3", 2},                              // a downward range: up lowers the number
        {0, 2000, 999, {+1}, "1,000", 1},  {5, 9, 70, {}, "9", 0}, // clamped into the range when set
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
