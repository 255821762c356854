// The whole application against a simulated printer: start-up with the real
// query, a change made on a page as the user makes it, and an apply of a value
// the printer refuses: named, retried alone, then restored from the backup.
#include "main_frame.h"
#include "page_registry.h"
#include "printer_app.h"
#include "printer_doc.h"
#include "qt_window_host.h"
#include "settings_view.h"
#include "support/e2e_env.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

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

// The name typed on the user page (2), shown in a window of its own as the frame shows it.
void TypeName(CPrinterDoc& doc, const char* name) {
    QWidget frame;
    CSettingsView* page = CreatePageView(2, &doc);
    page->setParent(&frame);
    frame.show();
    page->OnInitialUpdate();
    ASSERT_TRUE(page->TemplateError().empty());
    page->ControlAs<QLineEdit>(1154)->setText(QString::fromUtf8(name));
}

using PagesAgainstPrinter = E2eTest;

TEST_F(PagesAgainstPrinter, ASettingThePrinterRefusesIsNamedAndRetriedAlone) {
    // A printer with room for 8 bytes of name: a name of eight syllables (16 bytes) is refused.
    orbis::test::SimProcess sim(root_.Path(), {"--usb", "1", "--text-memory", "8"});
    ASSERT_TRUE(sim.Ready()) << "simulator did not attach";
    int argc = 1;
    char name[] = "pages_apply_test";
    char* argv[] = {name, nullptr};
    QApplication qt(argc, argv);
    // Discovery finds the one printer, and the real query runs behind the wait dialog.
    QuietHost host;
    CPrinterApp app(&host);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.QueryResult, 0);
    CPrinterDoc& doc = *app.Document();
    const std::string heldName = doc.CurrentValues["CUST1NAME"];
    const char kEightSyllables[] = "사용자이름여덟자"; // 16 bytes in code page 949, the page's limit
    TypeName(doc, kEightSyllables);
    app.MainFrame()->OnApply();
    ASSERT_EQ(host.captions, std::vector<std::string>{"일부 설정 적용 실패"});
    EXPECT_NE(host.texts[0].find(std::string("[사용자] 사용자 1 - 이름: 보낸 값 \"") + kEightSyllables +
                                 "\", 프린터의 값 \"" + heldName + "\""),
              std::string::npos)
        << host.texts[0];
    EXPECT_EQ(std::count(host.texts[0].begin(), host.texts[0].end(), '\n'), 2) << "one setting named";
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.PendingNames(), std::vector<std::string>{"CUST1NAME"});

    const size_t logged = SimLog(root_.Path()).size();
    app.MainFrame()->OnApply();
    std::vector<std::string> writes, log = SimLog(root_.Path());
    for (size_t i = logged; i < log.size(); ++i)
        if (log[i].find("] set ") != std::string::npos || log[i].find("refused") != std::string::npos)
            writes.push_back(log[i]);
    ASSERT_EQ(writes.size(), 1u) << "the second apply sends the refused setting alone";
    EXPECT_NE(writes[0].find("refused"), std::string::npos) << writes[0];
    EXPECT_EQ(host.captions.size(), 2u);
    EXPECT_TRUE(doc.IsModified());

    // A name that fits is taken; restoring then brings back the name held before that apply.
    TypeName(doc, "이름");
    app.MainFrame()->OnApply();
    EXPECT_FALSE(doc.IsModified()) << host.captions.back() << "\n" << host.texts.back();
    // The printer is asked in this process: its open port takes every reply on the cable.
    app.MainFrame()->OnReread();
    EXPECT_EQ(doc.CurrentValues["CUST1NAME"], "\xC0\xCC\xB8\xA7"); // "이름" in code page 949
    host.answer = kIdYes;
    app.MainFrame()->OnRestore();
    EXPECT_EQ(host.captions.back(), "설정을 복원 하시겠습니까?");
    EXPECT_FALSE(doc.IsModified());
    app.MainFrame()->OnReread();
    EXPECT_EQ(doc.CurrentValues["CUST1NAME"], heldName);
    const size_t asked = host.captions.size();
    app.MainFrame()->close(); // nothing to ask; the printer link is shut down
    EXPECT_EQ(host.captions.size(), asked);
}

} // namespace
