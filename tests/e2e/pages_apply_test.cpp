// The pages against a simulated printer: one change on every page as the user
// makes it, Apply, then a fresh query by another program sees every change; the
// same changes saved to a command file decode to the same values.
#include "npa_exchange.h"
#include "page_registry.h"
#include "printer_doc.h"
#include "settings_view.h"
#include "spin_button.h"
#include "tests/sim/sim_process.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

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

// Runs orbis-cli with `args` in the current directory; its NAME=VALUE lines.
std::map<std::string, std::string> Cli(const std::string& args, int& status) {
    const char* bin = std::getenv("ORBIS_BIN_DIR");
    std::string command = std::string(bin ? bin : ".") + "/orbis-cli " + args + " 2>/dev/null";
    std::map<std::string, std::string> values;
    FILE* out = ::popen(command.c_str(), "r");
    if (!out) {
        status = -1;
        return values;
    }
    char line[1024];
    while (std::fgets(line, sizeof line, out)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        size_t eq = text.find('=');
        if (eq != std::string::npos) values[text.substr(0, eq)] = text.substr(eq + 1);
    }
    status = ::pclose(out);
    return values;
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

class PagesAgainstPrinter : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        const char* source = std::getenv("ORBIS_SOURCE_DIR");
        ASSERT_NE(source, nullptr);
        fs::copy_file(fs::path(source) / "res" / "quillon.ini", fs::path(root.Path()) / "quillon.ini");
        previous = fs::current_path();
        fs::current_path(root.Path());
        ::setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::current_path(previous, ec);
    }
    orbis::test::TempRoot root;
    fs::path previous;
};

TEST_F(PagesAgainstPrinter, OneChangePerPageReachesPrinterAndCommandFile) {
    orbis::test::SimProcess sim(root.Path(), {"--lpt", "1"});
    ASSERT_TRUE(sim.Ready()) << "simulator did not attach";

    StringMap queried;
    ASSERT_EQ(QueryPrinterSettings("LPT1", queried), 0);
    CPrinterDoc doc;
    ASSERT_TRUE(doc.OnNewDocument("LPT1", queried, 0));

    const std::vector<PageChange> changes = {
        {1, "TRAY1PAPSIZE", [](Shown& s) { s.SelectOther(1301); }},
        {2, "CUST1NAME",
         [](Shown& s) {
             QLineEdit* edit = s.Get<QLineEdit>(1154);
             ASSERT_NE(edit, nullptr);
             edit->end(false);
             if (edit->text().size() >= 16)
                 QTest::keyClick(edit, Qt::Key_Backspace);
             else
                 QTest::keyClicks(edit, "Q");
         }},
        {3, "PLAINTXT", [](Shown& s) { s.SelectOther(1076); }},
        {4, "PLAINWGT", [](Shown& s) { s.SelectOther(1108); }},
        {5, "DKMX", [](Shown& s) { s.Click(1046); }},
        {6, "RESRED", [](Shown& s) { s.Click(1262); }},
        {7, "LINESPERPG", [](Shown& s) { s.StepOnce(1279); }},
        {8, "ASSIGNTRAY1",
         [](Shown& s) {
             if (s.Get<QAbstractButton>(1198)->isChecked())
                 s.StepOnce(1202);
             else
                 s.Click(1198);
         }},
        {9, "FONTPRIORITY", [](Shown& s) { s.SelectOther(1194); }},
        {10, "PARPCLEMUFLP", [](Shown& s) { s.Click(1062); }},
        {11, "USBPSEMUFLP", [](Shown& s) { s.Click(1053); }},
    };
    std::map<std::string, std::string> expected;
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

    ASSERT_EQ(doc.ApplySettings(), 0);
    std::string file = root.Path() + "/changes.npa";
    ASSERT_EQ(doc.SaveCommandFile(file), 0);
    ShutdownPrinterLink("LPT1");

    int status = 0;
    std::map<std::string, std::string> fresh = Cli("query LPT1", status);
    ASSERT_EQ(status, 0) << "orbis-cli query";
    for (const auto& [name, value] : expected)
        EXPECT_EQ(fresh[name], value) << name << " after Apply";

    std::map<std::string, std::string> decoded = Cli("decode " + file, status);
    EXPECT_EQ(status, 0) << "orbis-cli decode";
    for (const auto& [name, value] : expected)
        EXPECT_EQ(decoded[name], value) << name << " in the command file";
}

} // namespace
