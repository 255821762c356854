// The whole application against a simulated printer: start-up with the real
// query, one change of each kind of control as the user makes it, a two-way Apply of every
// value held (each catalogue command the printer must accept), then a fresh query
// by another program sees every value with the changes; the same values saved to
// a command file decode alike.
#include "ansi_text.h"
#include "dvc.h"
#include "dvc_internal.h"
#include "main_frame.h"
#include "npa_catalogue.h"
#include "npa_exchange.h"
#include "page_registry.h"
#include "printer_app.h"
#include "printer_doc.h"
#include "qt_window_host.h"
#include "settings_view.h"
#include "spin_button.h"
#include "support/e2e_env.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

const char kEightSyllables[] = "사용자이름여덟자"; // 16 bytes in code page 949, the name's limit

QApplication& App() {
    static int argc = 1;
    static char name[] = "pages_apply_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// One page shown in a window of its own, as the frame shows it.
struct Shown {
    Shown(int pageId, CPrinterDoc& doc) : Frame(std::make_unique<QWidget>()) {
        Page = CreatePageView(pageId, &doc);
        Page->setParent(Frame.get());
        Frame->show();
        Page->OnInitialUpdate();
    }
    template <class T> T* Get(int id) { return Page->ControlAs<T>(id); }

    // Picks an item of the list other than the selected one.
    void SelectOther(int id) {
        QComboBox* combo = Get<QComboBox>(id);
        ASSERT_NE(combo, nullptr);
        ASSERT_GE(combo->count(), 2);
        int index = combo->currentIndex() == 0 ? 1 : 0;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void Click(int id) {
        ASSERT_NE(Get<QAbstractButton>(id), nullptr);
        Get<QAbstractButton>(id)->click();
    }
    // One arrow step that moves (down at the top of the range).
    void StepOnce(int spinId) {
        CSpinButton* spin = Get<CSpinButton>(spinId);
        ASSERT_NE(spin, nullptr);
        int minimum = 0, maximum = 0;
        spin->GetRange32(minimum, maximum);
        bool up = spin->GetPos32() != std::max(minimum, maximum);
        spin->findChild<QToolButton*>(up ? "up" : "down")->click();
    }

    std::unique_ptr<QWidget> Frame;
    CSettingsView* Page;
};

struct PageChange {
    int pageId;
    const char* npaName; // the setting the change stores
    std::function<void(Shown&)> act;
};

// Records the modal boxes instead of showing them.
class QuietHost : public CQtWindowHost {
  public:
    int ShowMessage(bool, const std::string& text, const std::string& caption, MessageIcon,
                    MessageButtons buttons) override {
        captions.push_back(caption);
        texts.push_back(text);
        return buttons == MessageButtons::YesNo ? answer : kIdOk;
    }
    int answer = kIdNo;
    std::vector<std::string> captions, texts;
};

class PagesAgainstPrinter : public E2eTest {
  protected:
    void SetUp() override {
        App();
        E2eTest::SetUp();
    }
    // The library of this process was shut down with the window: the next test starts it afresh.
    void TearDown() override {
        DvcShutdown();
        G_bInitialized = false;
        settings_internal::ResetNpaCatalogue();
        NpaSettingIds.clear();
        E2eTest::TearDown();
    }
};

TEST_F(PagesAgainstPrinter, StartChangeEveryPageApplyAndSave) {
    orbis::test::SimProcess sim(root_.Path(), {"--lpt", "1", "--marker", "VNPAP"});
    ASSERT_TRUE(sim.Ready()) << "simulator did not attach";

    // A Korean name applied by another program, in the terminal's UTF-8.
    ASSERT_EQ(RunCli(std::string("apply LPT1 'CUST1NAME=") + kEightSyllables + "'").status, 0);

    // Discovery finds the one printer, and the real query runs behind the wait dialog.
    QuietHost host;
    CPrinterApp app(&host);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.QueryResult, 0);
    EXPECT_EQ(app.PortName, "LPT1");
    CPrinterDoc& doc = *app.Document();
    const StringMap queried = doc.CurrentValues;
    ASSERT_GT(queried.size(), 50u);
    EXPECT_EQ(queried.count(""), 0u); // every identifier in the reply is the catalogue's

    // Which control stores which setting is the page tests' table; here one change
    // of each kind of control, as the user makes it.
    const std::vector<PageChange> changes = {
        {1, "TRAY1PAPSIZE", [](Shown& s) { s.SelectOther(1301); }},
        {2, "CUST1NAME",
         [](Shown& s) {
             QLineEdit* edit = s.Get<QLineEdit>(1154);
             ASSERT_NE(edit, nullptr);
             EXPECT_EQ(edit->text(), QString::fromUtf8(kEightSyllables)) << "the name read back";
             edit->end(false);
             // A ninth syllable would make 18 bytes: the limit of 16 refuses it.
             QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString::fromUtf8("가"),
                                 Qt::NoModifier);
             EXPECT_EQ(edit->text(), QString::fromUtf8(kEightSyllables));
             QTest::keyClick(edit, Qt::Key_Backspace);
         }},
        {7, "LINESPERPG", [](Shown& s) { s.StepOnce(1279); }},
        {8, "ASSIGNTRAY1",
         [](Shown& s) {
             if (s.Get<QAbstractButton>(1198)->isChecked())
                 s.StepOnce(1202);
             else
                 s.Click(1198);
         }},
    };
    StringMap expected = queried; // two-way: Apply sends every value held, each must be accepted
    for (const PageChange& change : changes) {
        SCOPED_TRACE("page " + std::to_string(change.pageId));
        std::string before = doc.CurrentValues[change.npaName];
        {
            Shown shown(change.pageId, doc);
            ASSERT_TRUE(shown.Page->TemplateError().empty());
            change.act(shown);
        }
        std::string after = doc.CurrentValues[change.npaName];
        EXPECT_NE(after, before) << change.npaName << " did not change";
        expected[change.npaName] = after;
    }
    EXPECT_TRUE(doc.IsModified());
    expected["CUST1NAME"] = "사용자이름여덟"; // as orbis-cli shows it

    std::string file = work_ + "/changes.npa";
    ASSERT_EQ(doc.SaveCommandFile(file), 0);
    app.MainFrame()->OnApply();
    EXPECT_FALSE(doc.IsModified());
    app.MainFrame()->close(); // nothing to ask; the printer link is shut down
    EXPECT_EQ(host.captions, std::vector<std::string>{});

    CliRun fresh = RunCli("query LPT1 2>/dev/null");
    ASSERT_EQ(fresh.status, 0) << "orbis-cli query";
    EXPECT_EQ(ParseValues(fresh.out), expected) << "after Apply";

    CliRun decoded = RunCli("decode " + file + " 2>/dev/null");
    EXPECT_EQ(decoded.status, 0) << "orbis-cli decode";
    EXPECT_EQ(ParseValues(decoded.out), expected) << "in the command file";
}

// The writes the printer logged since `from` (its log's length then): "set ..." or "... refused".
std::vector<std::string> LoggedWrites(const std::string& root, std::streamoff& from) {
    std::vector<std::string> writes;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.path().filename().string().rfind("sim-", 0) != 0) continue;
        std::ifstream log(entry.path());
        log.seekg(from);
        for (std::string line; std::getline(log, line);)
            if (line.find("] set ") != std::string::npos || line.find("refused") != std::string::npos)
                writes.push_back(line.substr(line.find("] ") + 2));
        log.clear();
        from = log.tellg();
    }
    return writes;
}

TEST_F(PagesAgainstPrinter, ASettingThePrinterRefusesIsNamedAndRetriedAlone) {
    // A printer with room for 8 bytes of name: a name of eight syllables (16 bytes) is refused.
    orbis::test::SimProcess sim(root_.Path(), {"--usb", "1", "--text-memory", "8"});
    ASSERT_TRUE(sim.Ready()) << "simulator did not attach";
    QuietHost host;
    CPrinterApp app(&host);
    ASSERT_TRUE(app.InitInstance());
    CPrinterDoc& doc = *app.Document();
    const std::string heldName = doc.CurrentValues["CUST1NAME"];
    {
        Shown shown(2, doc);
        shown.Get<QLineEdit>(1154)->setText(QString::fromUtf8(kEightSyllables));
        shown.SelectOther(1140); // a paper type the printer takes
    }
    app.MainFrame()->OnApply();
    ASSERT_EQ(host.captions, std::vector<std::string>{"일부 설정 적용 실패"});
    EXPECT_NE(host.texts[0].find(std::string("[사용자] 사용자 1 - 이름: 보낸 값 \"") + kEightSyllables +
                                 "\", 프린터의 값 \"" + heldName + "\""),
              std::string::npos)
        << host.texts[0];
    EXPECT_EQ(std::count(host.texts[0].begin(), host.texts[0].end(), '\n'), 2) << "one setting named";
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.PendingNames(), std::vector<std::string>{"CUST1NAME"});

    std::streamoff logged = 0;
    LoggedWrites(root_.Path(), logged);
    app.MainFrame()->OnApply();
    const std::vector<std::string> writes = LoggedWrites(root_.Path(), logged);
    ASSERT_EQ(writes.size(), 1u) << "the second apply sends the refused setting alone";
    EXPECT_NE(writes[0].find("refused"), std::string::npos) << writes[0];
    EXPECT_EQ(host.captions.size(), 2u);
    EXPECT_TRUE(doc.IsModified());

    // A name that fits is taken; restoring then brings back the name held before that apply.
    Shown(2, doc).Get<QLineEdit>(1154)->setText(QString::fromUtf8("이름"));
    app.MainFrame()->OnApply();
    EXPECT_FALSE(doc.IsModified()) << host.captions.back() << "\n" << host.texts.back();
    // The printer is asked in this process: its open port takes every reply on the cable.
    app.MainFrame()->OnReread();
    EXPECT_EQ(FromAnsi(doc.CurrentValues["CUST1NAME"]), QString::fromUtf8("이름"));
    host.answer = kIdYes;
    app.MainFrame()->OnRestore();
    EXPECT_EQ(host.captions.back(), "설정을 복원 하시겠습니까?");
    EXPECT_FALSE(doc.IsModified());
    app.MainFrame()->OnReread();
    EXPECT_EQ(doc.CurrentValues["CUST1NAME"], heldName);
    app.MainFrame()->close();
}

} // namespace
