// The frame's commands: apply, save to a command file, read again, profiles, with their
// messages, and closing through the document.
#include "support/ui_fixture.h"

#include "npa_exchange.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace {

class Frame : public UiFixture {};

TEST_F(Frame, ApplyReportsFailureAndKeepsTheDocumentModified) {
    // No printer is attached to LPT1 in this root: any attempt to send fails.
    struct Case {
        const char* what;
        int writeOnly;
        bool edited; // a box on a page clicked
        bool failed;
        bool outOfPaper = false; // LPT1 is the host's lp port, which takes no byte (the NT family's copy)
    };
    const Case cases[] = {
        // First: the library asks for the Windows family (NT: only lp serves LPT1) once per process.
        {"write-only whose copy does not reach the port", 1, true, true, true},
        {"write-only without an edit sends nothing and clears the flag", 1, false, false},
        {"two-way always sends every value and keeps no edits apart", 0, true, true},
    };
    const std::string notReady =
        "nothing or not all of the data reached LPT1: the printer is not ready (out of paper?)";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.outOfPaper) {
            for (const char* sub : {"/sys/class/printer/lp0", "/dev", "/root"})
                std::filesystem::create_directories(dir_ + sub);
            std::filesystem::create_symlink("/dev/full", dir_ + "/dev/lp0");
            std::ofstream(dir_ + "/root/sources.ini")
                << "[Kernel]\nSysfs=" << dir_ << "/sys\nDev=" << dir_ << "/dev\n";
        }
        setenv("ORBIS_SOURCES", c.outOfPaper ? "kernel" : "simulated", 1);
        CPrinterDoc& doc = Start({{"BLANKPGS", "PRINT"}, {"RESRED", "OFF"}}, c.writeOnly);
        QAction* save = frame_->Command(kCmdSaveCommandFile);
        EXPECT_EQ(save->isEnabled(), c.writeOnly == 0) << "the blank page greys it in write-only mode";
        if (c.edited) {
            ShowPage(6)->ControlAs<QCheckBox>(1262)->click();
            ShowPage(6); // a later page does not grey it again
        }
        EXPECT_EQ(save->isEnabled(), c.writeOnly == 0 || c.edited);
        EXPECT_EQ(doc.ChangedValues, (c.writeOnly && c.edited ? StringMap{{"RESRED", "ON"}} : StringMap()));
        doc.SetModifiedFlag(true);
        host_.boxes.clear();
        // Chosen from the menu bar: its prompt is showing when the command starts.
        QStatusTipEvent prompt(QString::fromUtf8("변경사항을 프린터에 적용"));
        QApplication::sendEvent(frame_.get(), &prompt);
        std::string shown = "<no exchange>";
        host_.onBusy = [&] {
            auto* pane = frame_->findChild<QLabel*>("pane0");
            shown = frame_->statusBar()->currentMessage().isEmpty() && pane->isVisibleTo(frame_->statusBar())
                        ? frame_->PaneText().toStdString()
                        : "<covered by the menu prompt>";
        };
        frame_->OnApply();
        host_.onBusy = nullptr;
        EXPECT_EQ(shown,
                  c.failed ? "프린터에 설정을 적용 하고 있습니다. 잠시 기다리십시오..." : "<no exchange>");
        ASSERT_EQ(host_.boxes.size(), c.failed ? 1u : 0u);
        if (c.failed) {
            EXPECT_EQ(host_.boxes[0].caption, "설정 적용 실패");
            EXPECT_EQ(host_.boxes[0].text, "설정사항을 프린트에 저용 할수 없습니다. 프린터가 연결되어 있고 "
                                           "전원이 켜져 있는지 확인 하십시오.");
            EXPECT_EQ(host_.boxes[0].icon, MessageIcon::Stop);
            EXPECT_FALSE(host_.boxes[0].owned);
            EXPECT_EQ(host_.boxes[0].cause, c.outOfPaper ? notReady : "");
        }
        EXPECT_EQ(doc.IsModified(), c.failed);
        EXPECT_EQ(frame_->PaneText().toStdString(), "준비됨") << "the status text comes back";

        // Closing asks about unapplied edits only while the document is modified.
        host_.boxes.clear();
        frame_->close();
        ASSERT_EQ(host_.boxes.size(), c.failed ? 1u : 0u);
        if (c.failed) {
            EXPECT_EQ(host_.boxes[0].caption, "변경사항을 적용 하시겠습니까?");
            EXPECT_EQ(host_.boxes[0].buttons, MessageButtons::YesNo);
            EXPECT_TRUE(host_.boxes[0].owned);
        }
        EXPECT_FALSE(doc.IsModified());
    }
}

TEST_F(Frame, SaveCommandFile) {
    const std::string missing = dir_ + "/no such folder/settings.npa";
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, // the dialog cancelled: nothing happens
        {dir_ + "/out.npa", ""},
        {missing, "코멘드 파일 " + missing + "에 설정을 저장 할 수 없습니다."},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        CPrinterDoc& doc = Start({{"BLANKPGS", "PRINT"}, {"AUTOCR", "ON"}});
        doc.SetModifiedFlag(true);
        host_.boxes.clear();
        host_.chosenFile = QString::fromStdString(path);
        frame_->OnSaveCommandFile();
        ASSERT_EQ(host_.boxes.size(), message.empty() ? 0u : 1u);
        if (!message.empty()) {
            EXPECT_EQ(host_.boxes[0].text, message);
            EXPECT_EQ(host_.boxes[0].caption, "코멘드 파일 만들기 실패");
            EXPECT_EQ(host_.boxes[0].icon, MessageIcon::Stop);
        }
        QFileInfo file(QString::fromStdString(path));
        EXPECT_EQ(file.exists() && file.size() > 0, path == dir_ + "/out.npa");
        EXPECT_TRUE(doc.IsModified()) << "saving leaves the document modified";
    }
}

// F5 reads the printer again, asking first about unapplied edits; an imported profile's values come in
// as edits. Either way the page then shows what the document holds.
TEST_F(Frame, ValuesReadAgainOrImported) {
    Start({{"BLANKPGS", "DONTPRINT"}});
    const std::string exported = dir_ + "/exported.profile";
    host_.chosenFile = QString::fromStdString(exported);
    frame_->OnExportProfile();
    ASSERT_TRUE(host_.boxes.empty());
    auto write = [&](const char* name, const std::string& text) {
        std::ofstream(dir_ + "/" + name) << text;
        return dir_ + "/" + name;
    };
    const std::string header = "[Profile]\nModel=Orbis LP 2200\n[Settings]\n";
    const std::string noEquals = write("a.profile", header + "BLANKPGS DONTPRINT\n");
    const std::string unknown = write("b.profile", header + "BLANKPGS=DONTPRINT\nNOSUCH=1\n");
    const std::string otherModel = write("c.profile", "[Profile]\nModel=Orbis LP 9\n[Settings]\n");
    const std::string ask = "설정을 다시 읽으시겠습니까?", failed = "프로파일 가져오기 실패";
    struct Case {
        std::string profile; // the file imported; "F5": read again instead; "": the dialog cancelled
        int writeOnly;
        bool modified;
        int answer, queryResult, queries;
        std::vector<std::string> captions;
        std::string says; // in the last box's text
        std::string valueAfter;
        bool modifiedAfter;
    };
    const Case cases[] = {
        // clang-format off
        {"F5", 0, false, kIdNo, 0, 1, {}, "", "DONTPRINT", false}, // a clean document is read again at once
        {"F5", 0, true, kIdNo, 0, 0, {ask}, "", "PRINT", true},    // unapplied edits: No keeps them
        {"F5", 0, true, kIdYes, 0, 1, {ask}, "", "DONTPRINT", false}, // Yes drops them
        {"F5", 0, true, kIdYes, kQueryFailed, 1, {ask, "다시 읽기 실패"}, "", "PRINT", true}, // no change
        {"F5", 1, false, kIdYes, 0, 0, {}, "", "PRINT", false}, // write-only: there is nothing to read
        {"", 0, false, kIdNo, 0, 0, {}, "", "PRINT", false},
        {exported, 0, false, kIdNo, 0, 0, {"프로파일 가져오기"}, "설정 1개를", "DONTPRINT", true},
        {noEquals, 0, false, kIdNo, 0, 0, {failed}, "\n4번째 줄: '이름=값' 형식이 아닙니다.", "PRINT", false},
        {unknown, 0, false, kIdNo, 0, 0, {failed}, "\n5번째 줄: 알 수 없는 설정 NOSUCH", "PRINT", false},
        {otherModel, 0, false, kIdNo, 0, 0, {failed},
         "\n2번째 줄: 다른 프린터 모델(Orbis LP 9)의 프로파일 입니다.", "PRINT", false},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        CPrinterDoc& doc = Start({{"BLANKPGS", "PRINT"}}, c.writeOnly);
        ShowPage(1);
        frame_->show();
        QApplication::setActiveWindow(frame_.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
        doc.SetModifiedFlag(c.modified);
        host_.boxes.clear();
        host_.answer = c.answer;
        host_.chosenFile = QString::fromStdString(c.profile);
        int queries = 0;
        frame_->QueryFunction = [&](const char* port, StringMap& values) {
            ++queries;
            EXPECT_STREQ(port, "LPT1");
            if (c.queryResult == 0) values = {{"BLANKPGS", "DONTPRINT"}, {"SEPSHEETS", "OFF"}};
            return c.queryResult;
        };
        EXPECT_EQ(frame_->Command(kCmdReread)->isEnabled(), c.writeOnly == 0) << "greyed in write-only mode";
        if (c.profile == "F5")
            QTest::keyClick(frame_.get(), Qt::Key_F5);
        else
            frame_->OnImportProfile();
        std::vector<std::string> captions;
        for (const ShownBox& box : host_.boxes) {
            captions.push_back(box.caption);
            EXPECT_EQ(box.buttons == MessageButtons::YesNo, box.caption == ask);
            EXPECT_TRUE(box.caption != ask || box.owned) << "the question belongs to the window";
            EXPECT_TRUE(box.caption != "다시 읽기 실패" || box.icon == MessageIcon::Stop);
        }
        EXPECT_EQ(captions, c.captions);
        EXPECT_NE((captions.empty() ? "" : host_.boxes.back().text).find(c.says), std::string::npos);
        EXPECT_EQ(queries, c.queries);
        EXPECT_EQ(doc.CurrentValues["BLANKPGS"], c.valueAfter);
        auto* shown = frame_->Page()->ControlAs<QComboBox>(1018);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->currentData().toString().toStdString(), "BLANKPGS:" + c.valueAfter);
        EXPECT_EQ(doc.IsModified(), c.modifiedAfter);
    }
}

} // namespace
