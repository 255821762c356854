// The printer document: building it, what apply and save send, and the close question.
#include "npa_exchange.h"
#include "printer_doc.h"
#include "res/strings.h"
#include "support/settings_fixture.h"

namespace {

const char kCatalogue[] =
    "[NPA READ SETTING]\nBLANKPGS=A5000650E0E7200001\nPWRSVR=A5000650E0E7200010\n"
    "[NPA WRITE VALUES]\n*BLANKPGS:OFF=A5000750E0E720000100\nBLANKPGS:ON=A5000750E0E720000101\n"
    "*PWRSVR:1..15..240=A5000750E0E72000100F\nCUST1NAME:=A5000650E0E7200040\n"
    "[BlankPgs]\nNpaName=BLANKPGS\nNumValues=2\nValues=OFF,ON\nValueIds=61231,61232\n"
    "[PwrSvr]\nNpaName=PWRSVR\nMinVal=1\nMaxVal=240\nValues=OFF\n"
    "[Cust1Name]\nNpaName=CUST1NAME\nMaxLength=16\n"
    "[DKMX]\nNpaName=DKMX\nNumValues=2\nValues=OFF,ON\n"
    "[UsbPsEmuflp]\nNpaName=USBPSEMUFLP\nNumValues=2\nValues=NO,YES\n"
    "[AssignTray1]\nNpaName=ASSIGNTRAY1\nMinVal=1\nMaxVal=199\nNumRadios=2\nValues=OFF,AUTO\n";

const std::string kBlankOn = "A5000740E0E720000101";
const std::string kPwr30 = "A5000740E0E72000101E";
const std::string kPwr15 = "A5000740E0E72000100F";
const std::string kOnline = "A5000640E0E70C0000";

class DocumentTest : public SettingsFixture {
  protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        WriteCatalogue(kCatalogue);
    }
    std::vector<std::string> Sent(const std::string& file) {
        std::vector<std::string> packets;
        for (const auto& p : CommandFilePackets(ReadFile(file)))
            packets.push_back(Hex(p));
        return packets;
    }
    // What a page does on an edit.
    static void Edit(CPrinterDoc& doc, const std::string& name, const std::string& value) {
        doc.CurrentValues[name] = value;
        if (doc.WriteOnlyMode == 1) doc.ChangedValues[name] = value;
        doc.SetModifiedFlag(true);
    }
};

TEST_F(DocumentTest, NewDocument) {
    struct Case {
        int queryResult;
        uint8_t saveMenuChecked;
        size_t messages;
    } cases[] = {{0, 1, 0}, {1, 0, 1}};
    for (const Case& c : cases) {
        RecordingHost host;
        CPrinterDoc doc(&host);
        doc.SetModifiedFlag(true);
        ASSERT_TRUE(doc.OnNewDocument("LPT1", {{"BLANKPGS", "ON"}, {"PWRSVR", "15"}}, c.queryResult));
        EXPECT_EQ(doc.PortName, "LPT1");
        EXPECT_EQ(doc.WriteOnlyMode, c.queryResult);
        EXPECT_EQ(doc.SaveMenuChecked, c.saveMenuChecked);
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(doc.CurrentValues, (StringMap{{"BLANKPGS", "ON"}, {"PWRSVR", "15"}}));
        EXPECT_TRUE(doc.ChangedValues.empty());
        ASSERT_EQ(host.messages.size(), c.messages);
        if (c.messages) {
            const ShownMessage& m = host.messages[0];
            EXPECT_FALSE(m.owned);
            EXPECT_EQ(m.caption, "양방향 지원 불가능");
            EXPECT_EQ(m.text, LoadStringText(IDS_WRITE_ONLY_NOTICE));
            EXPECT_EQ(m.icon, MessageIcon::Information);
            EXPECT_EQ(m.buttons, MessageButtons::Ok);
        }
        // Descriptors, read from their sections.
        EXPECT_EQ(static_cast<const StringMap&>(doc.BlankPgs),
                  (StringMap{{"BLANKPGS:OFF", "인쇄 금지"}, {"BLANKPGS:ON", "인쇄"}}));
        EXPECT_EQ(doc.PwrSvr.OffValue, "OFF");
        EXPECT_EQ(doc.PwrSvr.MaxVal, 240);
        EXPECT_EQ(doc.Cust1Name.MaxLength, 16);
        EXPECT_EQ(doc.Cust2Name.MaxLength, 40); // no section: defaults
        EXPECT_EQ(doc.DKMX.SetKey, "DKMX:ON");
        EXPECT_EQ(doc.UsbPsEmuflp.ClearedKey, "USBPSEMUFLP:NO");
        EXPECT_EQ(doc.AssignTray1.RadioValue2, "AUTO");
        EXPECT_TRUE(doc.SepSheets.empty());
    }
}

TEST_F(DocumentTest, DescriptorsInReadingOrder) {
    CPrinterDoc doc;
    const auto& all = doc.Descriptors();
    ASSERT_EQ(all.size(), 84u);
    struct Case {
        size_t index;
        const char* key;
        DescriptorKind kind;
    } cases[] = {
        {0, "BlankPgs", DescriptorKind::ValueList},       {13, "Cust1Name", DescriptorKind::TextSetting},
        {49, "TonerAlarm", DescriptorKind::ValueList},    {50, "DKMX", DescriptorKind::CheckPair},
        {55, "PropTag", DescriptorKind::TextSetting},     {56, "PwrSvr", DescriptorKind::SwitchedRange},
        {66, "LinesPerPg", DescriptorKind::RangeSetting}, {67, "AssignTray1", DescriptorKind::RadioRange},
        {83, "UsbPsEmuflp", DescriptorKind::CheckPair}};
    for (const Case& c : cases) {
        EXPECT_STREQ(all[c.index].Key, c.key);
        EXPECT_EQ(all[c.index].Kind, c.kind) << c.key;
        const DescriptorRef* found = doc.FindDescriptor(c.key);
        ASSERT_NE(found, nullptr) << c.key;
        EXPECT_EQ(found->Descriptor, all[c.index].Descriptor) << c.key;
    }
    EXPECT_EQ(doc.FindDescriptor("AssignTray1")->Descriptor, &doc.AssignTray1);
    EXPECT_EQ(doc.FindDescriptor("blankpgs"), nullptr);
}

TEST_F(DocumentTest, ApplySendsWhatTheModeAsks) {
    struct Step {
        std::vector<std::pair<std::string, std::string>> edits;
        std::vector<std::string> sent; // setting packets, before the online command
    };
    struct Case {
        const char* label;
        int mode;
        std::vector<Step> steps;
    } cases[] = {
        {"write-only, no edit", 1, {{{}, {}}}},
        {"write-only, edits accumulate",
         1,
         {{{{"BLANKPGS", "ON"}}, {kBlankOn}}, {{{"PWRSVR", "30"}}, {kBlankOn, kPwr30}}}},
        {"two-way sends every value",
         0,
         {{{}, {kBlankOn, kPwr15}}, {{{"PWRSVR", "30"}}, {kBlankOn, kPwr30}}}},
    };
    int index = 0;
    for (const Case& c : cases) {
        RecordingHost host;
        CPrinterDoc doc(&host);
        std::string port = Path("apply" + std::to_string(index++) + ".npa");
        ASSERT_TRUE(doc.OnNewDocument(port, {{"BLANKPGS", "ON"}, {"PWRSVR", "15"}}, c.mode));
        for (const Step& step : c.steps) {
            for (const auto& [name, value] : step.edits)
                Edit(doc, name, value);
            host.statusHistory.clear();
            host.cursorHistory.clear();
            EXPECT_EQ(doc.ApplySettings(), 0) << c.label;
            std::vector<std::string> expected = step.sent;
            expected.push_back(kOnline);
            EXPECT_EQ(Sent(port), expected) << c.label;
            EXPECT_EQ(host.statusHistory,
                      (std::vector<std::string>{"프린터에 설정을 적용 하고 있습니다. 잠시 기다리십시오...",
                                                "준비됨"}));
            EXPECT_EQ(host.cursorHistory, (std::vector<bool>{true, false}));
        }
    }
    // A port that cannot be opened.
    RecordingHost host;
    CPrinterDoc doc(&host);
    ASSERT_TRUE(doc.OnNewDocument("", {{"BLANKPGS", "ON"}}, 0));
    EXPECT_EQ(doc.ApplySettings(), -1);
    EXPECT_EQ(host.status, "준비됨");
}

TEST_F(DocumentTest, SaveLeavesDocumentModified) {
    RecordingHost host;
    CPrinterDoc doc(&host);
    ASSERT_TRUE(doc.OnNewDocument("LPT9", {{"BLANKPGS", "ON"}}, 0));
    Edit(doc, "PWRSVR", "30");
    std::string file = Path("settings.npa");
    EXPECT_EQ(doc.SaveCommandFile(file), 0);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(Sent(file), (std::vector<std::string>{kBlankOn, kPwr30, kOnline}));
    EXPECT_EQ(host.statusHistory[0], "설정을 코멘드 파일에 저장합니다.  잠시 기다리십시오...");
    EXPECT_EQ(host.status, "준비됨");

    EXPECT_EQ(doc.SaveCommandFile(Path("missing-dir/x.npa")), -1);
    doc.CurrentValues["CUST1NAME"] = std::string(600, 'x'); // longer than a command may be
    EXPECT_EQ(doc.SaveCommandFile(Path("long.npa")), -3);
}

TEST_F(DocumentTest, CloseQuestion) {
    struct Case {
        const char* label;
        bool modified;
        int answer;
        bool portWorks;
        size_t messages; // question and failure report
        bool sent;
    } cases[] = {
        {"clean", false, kIdYes, true, 0, false},
        {"answer no", true, kIdNo, true, 1, false},
        {"answer yes", true, kIdYes, true, 1, true},
        {"answer yes, apply fails", true, kIdYes, false, 2, false},
    };
    int index = 0;
    for (const Case& c : cases) {
        WriteCatalogue(kCatalogue); // the previous close freed the tables
        RecordingHost host;
        host.answer = c.answer;
        CPrinterDoc doc(&host);
        std::string port = c.portWorks ? Path("close" + std::to_string(index++) + ".npa") : std::string();
        ASSERT_TRUE(doc.OnNewDocument(port, {}, 0));
        if (c.modified) Edit(doc, "BLANKPGS", "ON");
        EXPECT_TRUE(doc.SaveModified()) << c.label;
        EXPECT_FALSE(doc.IsModified()) << c.label;
        ASSERT_EQ(host.messages.size(), c.messages) << c.label;
        if (c.messages >= 1) {
            EXPECT_TRUE(host.messages[0].owned);
            EXPECT_EQ(host.messages[0].caption, "변경사항을 적용 하시겠습니까?");
            EXPECT_EQ(host.messages[0].icon, MessageIcon::Question);
            EXPECT_EQ(host.messages[0].buttons, MessageButtons::YesNo);
        }
        if (c.messages == 2) {
            EXPECT_EQ(host.messages[1].caption, "설정 적용 실패");
            EXPECT_EQ(host.messages[1].icon, MessageIcon::Stop);
        }
        std::vector<std::string> expected;
        if (c.sent) expected = {kBlankOn, kOnline};
        if (!port.empty()) EXPECT_EQ(Sent(port), expected) << c.label;
        EXPECT_TRUE(NpaWriteCommands.empty()) << c.label; // the link was shut down
    }
}

} // namespace
