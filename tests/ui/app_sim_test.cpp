// The whole application against a simulated printer process on LPT1: start-up
// with the real query, one edit on the paper page, Apply, and the printer then
// holds the new value (read back by orbis-cli, a separate process).
#include "support/ui_fixture.h"

#include "tests/sim/sim_process.h"

#include "main_frame.h"
#include "printer_app.h"
#include "printer_doc.h"
#include "printer_mop_view.h"
#include "settings_view.h"

#include <QComboBox>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <filesystem>

namespace {

class AppWithPrinter : public UiFixture {};

// NAME=VALUE lines of `orbis-cli query LPT1`, run in the working directory.
StringMap CliQuery() {
    std::string command = orbis::test::SimBinary();
    command = command.substr(0, command.rfind('/')) + "/orbis-cli query LPT1 2>&1";
    StringMap values;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return values;
    char line[512];
    while (fgets(line, sizeof line, out)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        size_t equals = text.find('=');
        if (equals != std::string::npos) values[text.substr(0, equals)] = text.substr(equals + 1);
    }
    pclose(out);
    return values;
}

TEST_F(AppWithPrinter, StartEditApplyAndThePrinterHoldsTheValue) {
    orbis::test::SimProcess sim(std::getenv("ORBIS_ROOT"), {"--lpt", "1"});
    ASSERT_TRUE(sim.Ready());

    CPrinterApp app(&host_);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(host_.boxes.empty());
    EXPECT_EQ(app.QueryResult, 0);
    EXPECT_EQ(app.PortName, "LPT1");
    CMainFrame* frame = app.MainFrame();
    CPrinterDoc* doc = app.Document();
    const std::string before = doc->CurrentValues["BLANKPGS"];
    ASSERT_FALSE(before.empty());

    // The paper page through the tree, then a different item of "BlankPgs" (combo box 1018).
    QTreeWidgetItem* paper = nullptr;
    for (QTreeWidgetItemIterator it(frame->Tree()); *it; ++it)
        if (CPrinterMopView::ItemPageId(*it) == 1) paper = *it;
    ASSERT_NE(paper, nullptr);
    frame->Tree()->setCurrentItem(paper);
    auto* combo = frame->Page()->ControlAs<QComboBox>(1018);
    ASSERT_NE(combo, nullptr) << "the paper page shows BlankPgs in combo box 1018";
    int choice = -1;
    for (int i = 0; i < combo->count() && choice < 0; ++i)
        if (i != combo->currentIndex()) choice = i;
    ASSERT_GE(choice, 0);
    combo->setCurrentIndex(choice);
    emit combo->activated(choice);
    const std::string after = doc->CurrentValues["BLANKPGS"];
    ASSERT_NE(after, before);
    EXPECT_TRUE(doc->IsModified());

    frame->OnApply();
    EXPECT_TRUE(host_.boxes.empty()) << (host_.boxes.empty() ? "" : host_.boxes[0].caption);
    EXPECT_FALSE(doc->IsModified());
    frame->close(); // nothing to ask; the printer link is shut down
    EXPECT_TRUE(host_.boxes.empty());

    StringMap printer = CliQuery();
    ASSERT_FALSE(printer.empty()) << "orbis-cli query printed nothing";
    EXPECT_EQ(printer["BLANKPGS"], after);
}

} // namespace
