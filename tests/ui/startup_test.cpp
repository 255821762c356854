// Start-up: discovery, the choice between printers, the query behind the wait
// dialog, and the main window that follows.
#include "support/ui_fixture.h"

#include "npa_exchange.h"
#include "printer_app.h"
#include "printer_discovery.h"
#include "printer_mop_view.h"
#include "query_wait_dlg.h"
#include "select_printer_dlg.h"
#include "win32.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A spooler printer entry with the family's driver, in this test's root.
void AddSpoolerPrinter(const std::string& port, const std::string& name) {
    HKEY key = nullptr;
    const std::string path = std::string(kSpoolerPrintersKey) + "\\" + name;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const std::pair<const char*, std::string> values[] = {
        {"Printer Driver", "Orbis LP 2200 PCL"}, {"Port", port}, {"Name", name}};
    for (const auto& [value, text] : values)
        EXPECT_EQ(RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 text.size() + 1),
                  ERROR_SUCCESS);
    RegCloseKey(key);
}

class StartUp : public UiFixture {};

TEST_F(StartUp, DiscoverChooseQueryThenBuildTheWindow) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> printers; // port, name
        const char* selectionButton;                               // nullptr: no dialog expected
        int queryResult;                                           // 99: the real query runs
        bool started;
        std::vector<std::string> captions;
        std::string port;
    };
    const Case cases[] = {
        // clang-format off
        {"no spooler key: both messages and end",
         {}, nullptr, 0, false, {"프린터 정보 없음", "직접 연결된 프린터가 없습니다."}, ""},
        {"only a network printer: message and end",
         {{"\\\\server\\orbis", "Net"}}, nullptr, 0, false, {"직접 연결된 프린터가 없습니다."}, ""},
        {"one printer goes straight to the query; a failed query ends with its message",
         {{"LPT7", "Orbis"}}, nullptr, 99, false, {"종신 오류"}, "LPT7"},
        {"a query that fails after opening ends the same way",
         {{"LPT1", "Orbis"}}, nullptr, kQueryFailed, false, {"종신 오류"}, "LPT1"},
        {"two printers: sorted list, first preselected, Cancel ends silently",
         {{"USB001", "Orbis B"}, {"LPT1", "Orbis A"}}, "2", 0, false, {}, ""},
        {"two printers: OK takes the first line's port",
         {{"USB001", "Orbis B"}, {"LPT1", "Orbis A"}}, "1", 0, true, {}, "LPT1"},
        {"write-only shows the information notice and still starts",
         {{"LPT1", "Orbis"}}, nullptr, kQueryWriteOnly, true, {"양방향 지원 불가능"}, "LPT1"},
        // clang-format on
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("ORBIS_ROOT", (dir_ + "/root" + std::to_string(++round)).c_str(), 1); // a fresh spooler
        for (const auto& [port, name] : c.printers)
            AddSpoolerPrinter(port, name);
        host_.boxes.clear();
        // The selection dialog answered as a user would: look at it, then press the button.
        std::vector<std::string> shownLines;
        int shownRow = -1;
        host_.onSelect = [&](const std::vector<std::string>& lines, std::string& selected) {
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<CSelectPrinterDlg*>(QApplication::activeModalWidget());
                if (!dialog) return;
                for (int i = 0; i < dialog->List()->count(); ++i)
                    shownLines.push_back(dialog->List()->item(i)->text().toStdString());
                shownRow = dialog->List()->currentRow();
                dialog->findChild<QPushButton*>(c.selectionButton ? c.selectionButton : "2")->click();
            });
            return host_.CQtWindowHost::SelectPrinter(lines, selected);
        };

        CPrinterApp app(&host_);
        std::string queriedPort;
        if (c.queryResult != 99)
            app.QueryFunction = [&](const char* port, StringMap& values) {
                queriedPort = port;
                values["BLANKPGS"] = "PRINT";
                return c.queryResult;
            };
        EXPECT_EQ(app.InitInstance(), c.started);
        std::vector<std::string> captions;
        for (const ShownBox& box : host_.boxes) {
            captions.push_back(box.caption);
            EXPECT_FALSE(box.owned);
            EXPECT_EQ(box.icon,
                      box.caption == "양방향 지원 불가능" ? MessageIcon::Information : MessageIcon::Stop);
        }
        EXPECT_EQ(captions, c.captions);
        const std::vector<std::string> listed = {"LPT1 - Orbis A", "USB001 - Orbis B"}; // sorted
        EXPECT_EQ(shownLines, c.selectionButton ? listed : std::vector<std::string>());
        EXPECT_EQ(shownRow, c.selectionButton ? 0 : -1) << "the first line preselected";
        EXPECT_EQ(app.PortName, c.port);
        EXPECT_EQ(queriedPort, c.queryResult != 99 ? c.port : "");
        EXPECT_EQ(app.MainFrame() != nullptr && app.MainFrame()->isVisible(), c.started);
        if (c.started) {
            EXPECT_EQ(app.Document()->CurrentValues["BLANKPGS"], "PRINT");
            EXPECT_EQ(app.MainFrame()->Command(kCmdSaveCommandFile)->isEnabled(),
                      c.queryResult != kQueryWriteOnly);
        }
    }
}

TEST_F(StartUp, MainWindowShape) {
    AddSpoolerPrinter("LPT1", "Orbis LP 2200");
    CPrinterApp app(&host_);
    app.QueryFunction = [](const char*, StringMap&) { return 0; };
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.MainFrame();
    EXPECT_EQ(frame->windowTitle().toStdString(), "Orbis LP 2200 설정 유틸리티");
    EXPECT_EQ(frame->size(), QSize(680, 450));
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(frame->Splitter()->sizes().value(0), 150);
    EXPECT_EQ(frame->Page()->TemplateId(), CSettingsView::kBlankTemplateId);
    ASSERT_NE(frame->Tree()->topLevelItem(0), nullptr);
    EXPECT_EQ(frame->Tree()->topLevelItem(0)->text(0).toStdString(),
              "LPT1 - Orbis LP 2200"); // the chosen line

    const std::tuple<int, const char*, const char*, QKeySequence> commands[] = {
        {kCmdSaveCommandFile, "코멘드 파일로 저장(&S)\tCtrl+S",
         "다른 운영 시스템에서 사용하기 위해 설정 변경 사항을 코멘드 파일에 저장.", QKeySequence("Ctrl+S")},
        {kCmdAppExit, "마침(&X)", "응용프로그램 중지; prompts to apply settings", QKeySequence()},
        {kCmdApply, "적용(&A)", "변경사항을 프린터에 적용", QKeySequence()},
        {kCmdAppAbout, "버전 정보(&B)", "프로그램 정보, 버전 번호 및 저작권", QKeySequence()},
        {kCmdNextPane, "", "", QKeySequence("F6")},
        {kCmdPrevPane, "", "", QKeySequence("Shift+F6")},
    };
    for (const auto& [id, text, prompt, shortcut] : commands) {
        QAction* action = frame->Command(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(action->text().toStdString(), text);
        EXPECT_EQ(action->statusTip().toStdString(), prompt);
        EXPECT_EQ(action->shortcut(), shortcut);
    }

    EXPECT_EQ(frame->PaneText().toStdString(), "준비됨");
}

TEST_F(StartUp, WaitDialogStaysUpUnderEscapeEnterAndCloseUntilTheQueryEnds) {
    std::atomic<bool> release{false}, finished{false};
    CQueryWaitDlg dialog([&] {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        finished = true;
    });
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    bool stayedUp = false;
    QTimer::singleShot(50, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Return);
        dialog.close();
        dialog.reject();
        stayedUp = dialog.isVisible(); // nothing shows it again once hidden
        release = true;
    });
    dialog.exec();
    EXPECT_TRUE(finished);
    EXPECT_EQ(dialog.QueryDone, 1);
    EXPECT_TRUE(stayedUp);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
