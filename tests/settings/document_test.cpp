// The printer document: what a new one shows, what apply and save send, and the close question.
#include "npa_exchange.h"
#include "printer_doc.h"
#include "res/strings.h"
#include "support/settings_fixture.h"

#include <filesystem>

namespace {

const std::string kBlankOn = "A5000740E0E720000101";
const std::string kPwr30 = "A5000740E0E72000101E";
const std::string kPwr15 = "A5000740E0E72000100F";
const std::string kOnline = "A5000640E0E70C0000";
const StringMap kQueried = {{"BLANKPGS", "ON"}, {"PWRSVR", "15"}};

using DocumentTest = SettingsFixture;

// What a page does on an edit.
void Edit(CPrinterDoc& doc, const std::string& name, const std::string& value) {
    doc.CurrentValues[name] = value;
    if (doc.WriteOnlyMode == 1) doc.ChangedValues[name] = value;
    doc.SetModifiedFlag(true);
}

// A new document starts unmodified; write-only shows its notice with no owner
// window, and an apply sends what the mode asks, then the online command.
TEST_F(DocumentTest, NewDocumentAndApplyInEachMode) {
    using Lines = std::vector<std::string>;
    const Lines applying = {"프린터에 설정을 적용 하고 있습니다. 잠시 기다리십시오...", "준비됨"};
    struct Step {
        int mode;
        std::string name, value; // the edit before the apply, if any
        Lines sent;              // setting packets, before the online command
    } steps[] = {
        {1, "", "", {}}, // write-only: only what was edited, and nothing before an edit
        {1, "BLANKPGS", "ON", {kBlankOn}},
        {1, "PWRSVR", "30", {kBlankOn, kPwr30}},
        {0, "", "", {kBlankOn, kPwr15}}, // two-way: every value held
        {0, "PWRSVR", "30", {kBlankOn, kPwr30}},
    };
    for (int mode : {1, 0}) {
        RecordingHost host;
        CPrinterDoc doc(&host);
        doc.SetModifiedFlag(true);
        std::string port = Path("apply" + std::to_string(mode) + ".npa");
        ASSERT_TRUE(doc.OnNewDocument(port, kQueried, mode));
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(doc.SaveMenuChecked, 1 - mode);
        EXPECT_EQ(host.messages, mode ? Lines{"양방향 지원 불가능 IO"} : Lines{});
        EXPECT_EQ(host.texts, mode ? Lines{LoadStringText(IDS_WRITE_ONLY_NOTICE)} : Lines{});
        EXPECT_EQ(doc.PwrSvr.MaxVal, 240); // each descriptor read from its own section
        for (Step step : steps) {
            if (step.mode != mode) continue;
            if (!step.name.empty()) Edit(doc, step.name, step.value);
            EXPECT_EQ(doc.ApplySettings(), 0) << step.name;
            step.sent.push_back(kOnline);
            EXPECT_EQ(SentPackets(port), step.sent) << mode << step.name;
            EXPECT_EQ(std::exchange(host.statusHistory, {}), applying);
            EXPECT_EQ(std::exchange(host.cursorHistory, {}), (std::vector<bool>{true, false}));
        }
    }
}

TEST_F(DocumentTest, SaveLeavesDocumentModified) {
    RecordingHost host;
    CPrinterDoc doc(&host);
    ASSERT_TRUE(doc.OnNewDocument("LPT9", {{"BLANKPGS", "ON"}}, 0));
    Edit(doc, "PWRSVR", "30");
    EXPECT_EQ(doc.SaveCommandFile(Path("settings.npa")), 0);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(SentPackets(Path("settings.npa")), (std::vector<std::string>{kBlankOn, kPwr30, kOnline}));
    EXPECT_EQ(host.statusHistory,
              (std::vector<std::string>{"설정을 코멘드 파일에 저장합니다.  잠시 기다리십시오...", "준비됨"}));

    doc.CurrentValues["CUST1NAME"] = std::string(600, 'x'); // longer than a command may be
    EXPECT_EQ(doc.SaveCommandFile(Path("long.npa")), -3);
    // A failed save over a good file leaves it as it was, and nothing beside it.
    EXPECT_EQ(doc.SaveCommandFile(Path("settings.npa")), -3);
    EXPECT_EQ(SentPackets(Path("settings.npa")), (std::vector<std::string>{kBlankOn, kPwr30, kOnline}));
    for (const auto& entry : std::filesystem::directory_iterator(Path("")))
        EXPECT_NE(entry.path().extension(), ".TMP") << entry.path();
}

TEST_F(DocumentTest, CloseQuestion) {
    const std::string question = "변경사항을 적용 하시겠습니까? QY owned";
    struct Case {
        bool modified;
        int answer;
        bool portWorks;
        std::vector<std::string> messages;
        std::vector<std::string> sent;
    } cases[] = {
        {true, kIdNo, true, {question}, {}},
        {true, kIdYes, true, {question}, {kBlankOn, kOnline}},
        {true, kIdYes, false, {question, "설정 적용 실패 SO owned"}, {}},
    };
    int index = 0;
    for (const Case& c : cases) {
        WriteCatalogue(); // the previous close freed the tables
        RecordingHost host;
        host.answer = c.answer;
        CPrinterDoc doc(&host);
        std::string port =
            Path((c.portWorks ? "close" : "missing-dir/close") + std::to_string(index) + ".npa");
        ASSERT_TRUE(doc.OnNewDocument(port, {}, 0));
        if (c.modified) Edit(doc, "BLANKPGS", "ON");
        EXPECT_TRUE(doc.SaveModified()) << index;
        EXPECT_FALSE(doc.IsModified()) << index;
        EXPECT_EQ(host.messages, c.messages) << index;
        EXPECT_EQ(SentPackets(port), c.sent) << index;
        EXPECT_TRUE(NpaWriteCommands.empty()) << index++; // the link was shut down
    }
}

} // namespace
