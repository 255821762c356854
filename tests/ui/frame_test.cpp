// The frame's commands that reach the printer: apply and save to a command
// file, with their messages, and closing through the document.
#include "support/ui_fixture.h"

#include "main_frame.h"
#include "npa_exchange.h"
#include "printer_doc.h"
#include "settings_view.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace {

class Frame : public UiFixture {};

struct ApplyCase {
    const char* what;
    int writeOnly;
    bool edited;
    std::vector<std::string> captions;
    bool modifiedAfter;
    bool outOfPaper = false; // LPT1 is the host's lp port, which takes no byte (the NT family's copy)
    std::string cause = "";  // beside the message
};

TEST_F(Frame, ApplyReportsFailureAndKeepsTheDocumentModified) {
    // No printer is attached to LPT1 in this root: any attempt to send fails.
    const ApplyCase cases[] = {
        // First: the library asks for the Windows family (NT: only lp serves LPT1) once per process.
        {"write-only whose copy does not reach the port",
         1,
         true,
         {"설정 적용 실패"},
         true,
         true,
         "nothing or not all of the data reached LPT1: the printer is not ready (out of paper?)"},
        {"write-only without an edit sends nothing and clears the flag", 1, false, {}, false},
        {"two-way always sends every value", 0, false, {"설정 적용 실패"}, true},
    };
    for (const ApplyCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.outOfPaper) {
            std::filesystem::create_directories(dir_ + "/sys/class/printer/lp0");
            std::filesystem::create_directories(dir_ + "/dev");
            std::filesystem::create_directories(dir_ + "/root");
            std::filesystem::create_symlink("/dev/full", dir_ + "/dev/lp0");
            std::ofstream(dir_ + "/root/sources.ini")
                << "[Kernel]\nSysfs=" << dir_ << "/sys\nDev=" << dir_ << "/dev\n";
        }
        setenv("ORBIS_SOURCES", c.outOfPaper ? "kernel" : "simulated", 1);
        CPrinterDoc& doc = MakeDocument({{"BLANKPGS", "PRINT"}}, c.writeOnly);
        CMainFrame& frame = MakeFrame();
        if (c.edited) doc.ChangedValues["BLANKPGS"] = "DONTPRINT";
        doc.SetModifiedFlag(true);
        host_.boxes.clear();
        // Chosen from the menu bar: its prompt is showing when the command starts.
        QStatusTipEvent prompt(QString::fromUtf8("변경사항을 프린터에 적용"));
        QApplication::sendEvent(&frame, &prompt);
        std::string shown = "<no exchange>";
        host_.onBusy = [&] {
            auto* pane = frame.findChild<QLabel*>("pane0");
            shown = frame.statusBar()->currentMessage().isEmpty() && pane->isVisibleTo(frame.statusBar())
                        ? frame.PaneText().toStdString()
                        : "<covered by the menu prompt>";
        };
        frame.OnApply();
        host_.onBusy = nullptr;
        EXPECT_EQ(shown, c.captions.empty() ? "<no exchange>"
                                            : "프린터에 설정을 적용 하고 있습니다. 잠시 기다리십시오...");
        std::vector<std::string> captions;
        for (const ShownBox& box : host_.boxes) {
            captions.push_back(box.caption);
            EXPECT_EQ(box.text, "설정사항을 프린트에 저용 할수 없습니다. 프린터가 연결되어 있고 전원이 켜져 "
                                "있는지 확인 하십시오.");
            EXPECT_EQ(box.icon, MessageIcon::Stop);
            EXPECT_FALSE(box.owned);
            EXPECT_EQ(box.cause, c.cause);
        }
        EXPECT_EQ(captions, c.captions);
        EXPECT_EQ(doc.IsModified(), c.modifiedAfter);
        EXPECT_EQ(frame.PaneText().toStdString(), "준비됨") << "the status text comes back";

        // Closing asks about unapplied edits only while the document is modified.
        host_.boxes.clear();
        frame.close();
        ASSERT_EQ(host_.boxes.size(), c.modifiedAfter ? 1u : 0u);
        if (c.modifiedAfter) {
            EXPECT_EQ(host_.boxes[0].caption, "변경사항을 적용 하시겠습니까?");
            EXPECT_EQ(host_.boxes[0].buttons, MessageButtons::YesNo);
            EXPECT_TRUE(host_.boxes[0].owned);
        }
        EXPECT_FALSE(doc.IsModified());
        frame_.reset();
    }
}

TEST_F(Frame, SaveCommandFile) {
    struct Case {
        const char* what;
        std::string path; // "" cancels the dialog
        bool written;
        std::string message;
    };
    const std::string missing = dir_ + "/no such folder/settings.npa";
    const Case cases[] = {
        {"cancelling the dialog does nothing", "", false, ""},
        {"a chosen path receives the commands", dir_ + "/out.npa", true, ""},
        {"a path that cannot be written is named in the message", missing, false,
         "코멘드 파일 " + missing + "에 설정을 저장 할 수 없습니다."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPrinterDoc& doc = MakeDocument({{"BLANKPGS", "PRINT"}, {"AUTOCR", "ON"}});
        CMainFrame& frame = MakeFrame();
        doc.SetModifiedFlag(true);
        host_.boxes.clear();
        host_.saveAsked = 0;
        host_.savePath = QString::fromStdString(c.path);
        frame.OnSaveCommandFile();
        EXPECT_EQ(host_.saveAsked, 1);
        if (c.message.empty()) {
            EXPECT_TRUE(host_.boxes.empty());
        } else {
            ASSERT_EQ(host_.boxes.size(), 1u);
            EXPECT_EQ(host_.boxes[0].text, c.message);
            EXPECT_EQ(host_.boxes[0].caption, "코멘드 파일 만들기 실패");
            EXPECT_EQ(host_.boxes[0].icon, MessageIcon::Stop);
        }
        if (!c.path.empty()) {
            QFileInfo file(QString::fromStdString(c.path));
            EXPECT_EQ(file.exists() && file.size() > 0, c.written);
        }
        EXPECT_TRUE(doc.IsModified()) << "saving leaves the document modified";
        doc.SetModifiedFlag(false);
        frame_.reset();
    }
}

TEST_F(Frame, F5ReadsThePrinterAgainAskingFirstAboutUnappliedEdits) {
    struct Case {
        const char* what;
        int writeOnly;
        bool modified;
        int answer;
        int queryResult;
        bool asked, queried;
        std::string valueAfter; // of BLANKPGS, as the page shows it too
        std::vector<std::string> captions;
    };
    const Case cases[] = {
        {"a clean document is read again at once", 0, false, kIdNo, 0, false, true, "DONTPRINT", {}},
        {"unapplied edits: No keeps them", 0, true, kIdNo, 0, true, false, "PRINT", {}},
        {"unapplied edits: Yes drops them for the printer's values",
         0,
         true,
         kIdYes,
         0,
         true,
         true,
         "DONTPRINT",
         {}},
        {"a query that fails changes nothing",
         0,
         true,
         kIdYes,
         kQueryFailed,
         true,
         true,
         "PRINT",
         {"다시 읽기 실패"}},
        {"write-only: there is nothing to read", 1, false, kIdYes, 0, false, false, "PRINT", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPrinterDoc& doc = MakeDocument({{"BLANKPGS", "PRINT"}}, c.writeOnly);
        CMainFrame& frame = MakeFrame();
        ShowPage(1);
        frame.show();
        QApplication::setActiveWindow(&frame);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        doc.SetModifiedFlag(c.modified);
        host_.boxes.clear();
        host_.answer = c.answer;
        int queries = 0;
        frame.QueryFunction = [&](const char* port, StringMap& values) {
            ++queries;
            EXPECT_STREQ(port, "LPT1");
            if (c.queryResult == 0) values = {{"BLANKPGS", "DONTPRINT"}, {"SEPSHEETS", "OFF"}};
            return c.queryResult;
        };
        EXPECT_EQ(frame.Command(kCmdReread)->isEnabled(), c.writeOnly == 0) << "greyed in write-only mode";
        QTest::keyClick(&frame, Qt::Key_F5);
        std::vector<std::string> captions;
        for (const ShownBox& box : host_.boxes)
            if (box.buttons == MessageButtons::YesNo) {
                EXPECT_EQ(box.caption, "설정을 다시 읽으시겠습니까?");
                EXPECT_TRUE(box.owned);
            } else {
                captions.push_back(box.caption);
                EXPECT_EQ(box.icon, MessageIcon::Stop);
            }
        EXPECT_EQ(host_.boxes.size() - captions.size(), c.asked ? 1u : 0u) << "asked first";
        EXPECT_EQ(captions, c.captions);
        EXPECT_EQ(queries, c.queried ? 1 : 0);
        EXPECT_EQ(doc.CurrentValues["BLANKPGS"], c.valueAfter);
        EXPECT_EQ(doc.IsModified(), c.modified && !(c.queried && c.queryResult == 0));
        auto* shown = frame.Page()->ControlAs<QComboBox>(1018);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->currentData().toString().toStdString(), "BLANKPGS:" + c.valueAfter);
        doc.SetModifiedFlag(false);
        frame_.reset();
    }
}

TEST_F(Frame, ProfilesExportAndImport) {
    MakeDocument({{"BLANKPGS", "DONTPRINT"}});
    const std::string exported = dir_ + "/exported.profile";
    host_.profilePath = QString::fromStdString(exported);
    MakeFrame().OnExportProfile();
    ASSERT_TRUE(host_.boxes.empty());
    auto write = [&](const char* name, const std::string& text) {
        std::ofstream(dir_ + "/" + name) << text;
        return dir_ + "/" + name;
    };
    const std::string header = "[Profile]\nModel=Orbis LP 2200\n[Settings]\n";
    struct Case {
        const char* what;
        std::string path; // "" cancels the dialog
        std::string valueAfter;
        std::string caption, says;
    };
    const Case cases[] = {
        {"cancelling the dialog does nothing", "", "PRINT", "", ""},
        {"exported values come in as edits", exported, "DONTPRINT", "프로파일 가져오기", "설정 1개를"},
        {"a line without '=' is named", write("a.profile", header + "BLANKPGS DONTPRINT\n"), "PRINT",
         "프로파일 가져오기 실패", "\n4번째 줄: '이름=값' 형식이 아닙니다."},
        {"an unknown setting is named", write("b.profile", header + "BLANKPGS=DONTPRINT\nNOSUCH=1\n"),
         "PRINT", "프로파일 가져오기 실패", "\n5번째 줄: 알 수 없는 설정 NOSUCH"},
        {"another printer's profile", write("c.profile", "[Profile]\nModel=Orbis LP 9\n[Settings]\n"),
         "PRINT", "프로파일 가져오기 실패", "\n2번째 줄: 다른 프린터 모델(Orbis LP 9)의 프로파일 입니다."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPrinterDoc& doc = MakeDocument({{"BLANKPGS", "PRINT"}});
        CMainFrame& frame = MakeFrame();
        ShowPage(1);
        host_.boxes.clear();
        host_.profilePath = QString::fromStdString(c.path);
        frame.OnImportProfile();
        ASSERT_EQ(host_.boxes.size(), c.caption.empty() ? 0u : 1u);
        if (!c.caption.empty()) {
            EXPECT_EQ(host_.boxes[0].caption, c.caption);
            EXPECT_NE(host_.boxes[0].text.find(c.says), std::string::npos) << host_.boxes[0].text;
        }
        EXPECT_EQ(doc.CurrentValues["BLANKPGS"], c.valueAfter);
        EXPECT_EQ(doc.IsModified(), c.valueAfter != "PRINT");
        auto* shown = frame.Page()->ControlAs<QComboBox>(1018);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->currentData().toString().toStdString(), "BLANKPGS:" + c.valueAfter);
        doc.SetModifiedFlag(false);
        frame_.reset();
    }
}

} // namespace
