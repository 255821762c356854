// Settings profiles: what a bad line gets (named by its line, nothing taken), a
// good profile's way into the document, and the backups kept per printer.
#include "backup_store.h"
#include "printer_doc.h"
#include "profile.h"
#include "support/settings_fixture.h"

#include <fstream>

namespace {

const std::string kHeader = "; exported\n[Profile]\nModel=Orbis LP 2200\n[Settings]\n"; // 4 lines

using ProfileTest = SettingsFixture;

TEST_F(ProfileTest, BadLinesAreNamedAndNothingIsTaken) {
    struct Case {
        std::string text;
        int line;
        ProfileProblemKind kind;
        const char* file = nullptr; // bad.profile holding the text
    } cases[] = {
        {kHeader + "BLANKPGS=ON\nNOSUCH=1\n", 6, ProfileProblemKind::UnknownName},
        {kHeader + "PWRSVR=3O\n", 5, ProfileProblemKind::BadNumber},
        {kHeader + "PWRSVR=241\n", 5, ProfileProblemKind::OutOfRange},
        {kHeader + "BLANKPGS=MAYBE\n", 5, ProfileProblemKind::BadValue},
        {kHeader + "CUST1NAME=seventeen letters\n", 5, ProfileProblemKind::TooLong},
        {kHeader + "BLANKPGS ON\n", 5, ProfileProblemKind::MissingEquals},
        {"[Profile]\nModel=Orbis LP 2300\n[Settings]\nBLANKPGS=ON\n", 2, ProfileProblemKind::WrongModel},
        {kHeader + "BLANKPGS=O\x01N\n", 5, ProfileProblemKind::Binary},
        {kHeader + std::string("CUST1NAME=a\0b\n", 14), 5, ProfileProblemKind::Binary},
        {kHeader + "CUST1NAME=\xC0\xAF\n", 5, ProfileProblemKind::NotUtf8},
        {"[Settings]\nBLANKPGS=ON\n", 0, ProfileProblemKind::NoModel},
        {kHeader + "BLANKPGS=ON\nblankpgs=OFF\n", 6, ProfileProblemKind::Duplicate},
        {std::string(2 * 1024 * 1024, 'x'), 0, ProfileProblemKind::TooBig},
        // A device without end is refused at the size no profile reaches, not read forever.
        {"", 0, ProfileProblemKind::TooBig, "/dev/zero"},
    };
    for (const Case& c : cases) {
        std::ofstream(Path("bad.profile"), std::ios::binary | std::ios::trunc) << c.text;
        Profile profile;
        profile.Values = {{"BLANKPGS", "OFF"}};
        std::vector<ProfileProblem> problems;
        EXPECT_FALSE(ReadProfile(c.file ? c.file : Path("bad.profile"), profile, problems)) << c.line;
        EXPECT_EQ(profile.Values, (StringMap{{"BLANKPGS", "OFF"}})) << c.line;
        ASSERT_EQ(problems.size(), 1u) << c.line;
        const std::string named = DescribeProblem(problems[0]);
        EXPECT_EQ(problems[0].Kind, c.kind) << named;
        EXPECT_EQ(named.rfind(c.line ? "line " + std::to_string(c.line) + ": " : "file: ", 0), 0u) << named;
    }
}

TEST_F(ProfileTest, ExportedProfileImportsAsEdits) {
    CPrinterDoc source;
    ASSERT_TRUE(source.OnNewDocument(
        "LPT1", {{"BLANKPGS", "ON"}, {"PWRSVR", "OFF"}, {"CUST1NAME", "\xBA\xC0\xC5\xF5"}}, 0));
    std::string error;
    ASSERT_TRUE(WriteProfile(Path("a.profile"), source.ExportProfile(), error)) << error;
    std::ifstream in(Path("a.profile"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\nCUST1NAME=봉투\n"), std::string::npos) << text; // UTF-8 on disk

    Profile profile;
    std::vector<ProfileProblem> problems;
    ASSERT_TRUE(ReadProfile(Path("a.profile"), profile, problems));
    for (int mode : {0, 1}) {
        CPrinterDoc target;
        ASSERT_TRUE(target.OnNewDocument("LPT2", {{"BLANKPGS", "ON"}, {"PWRSVR", "15"}}, mode));
        EXPECT_EQ(target.ImportProfile(profile), (std::vector<std::string>{"CUST1NAME", "PWRSVR"}));
        EXPECT_TRUE(target.IsModified());
        EXPECT_EQ(target.CurrentValues, source.CurrentValues);
        EXPECT_EQ(target.ChangedValues.size(), mode ? 2u : 0u);
    }
}

TEST_F(ProfileTest, BackupsKeepTheNewestTwentyOfEachPrinter) {
    BackupStore store(Path("backups"));
    std::string error;
    for (int i = 1; i <= 22; ++i)
        ASSERT_TRUE(store.Save("LPT1", {{"PWRSVR", std::to_string(i)}}, error)) << error;
    ASSERT_TRUE(store.Save("USB001", {{"PWRSVR", "99"}}, error)) << error;
    std::vector<BackupEntry> lpt = store.List("LPT1");
    ASSERT_EQ(lpt.size(), 20u);
    EXPECT_EQ(store.List("").size(), 21u);
    Profile newest, oldest;
    std::vector<ProfileProblem> problems;
    ASSERT_TRUE(store.Load("LPT1", "", newest, problems));
    EXPECT_EQ(newest.Values.at("PWRSVR"), "22");
    ASSERT_TRUE(store.Load("LPT1", lpt.back().Id, oldest, problems));
    EXPECT_EQ(oldest.Values.at("PWRSVR"), "3");
    EXPECT_FALSE(store.Load("LPT2", "", oldest, problems));
}

} // namespace
