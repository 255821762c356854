// CRenumberView: four radio triples, each with a number and its arrows.
#include "page_fixture.h"

#include "npa_exchange.h"
#include "win32.h"

#include <fstream>
#include <iterator>

using namespace pagetest;

namespace {
// Tray 1 at the first value ("없음", none), tray 2 at the second ("꺼짐", off), manual paper and
// envelope at numbers.
const StringMap kValues = {
    {"ASSIGNTRAY1", "NONE"}, {"ASSIGNTRAY2", "off"}, {"ASSIGNMANPAPER", "12"}, {"ASSIGNMANENV", "7"}};

// The catalogue's write line for NAME:VALUE, as hex digits.
std::string CatalogueLine(const std::string& key) {
    std::vector<char> section(32767);
    DWORD n =
        GetPrivateProfileSectionA("NPA WRITE VALUES", section.data(), DWORD(section.size()), kCatalogueFile);
    for (DWORD at = 0; at < n;) {
        std::string line(&section[at]);
        at += DWORD(line.size()) + 1;
        if (line.rfind('*', 0) == 0) line.erase(0, 1);
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "<no line for " + key + ">";
}

// The command file that saving the document writes, as hex digits.
std::string SavedCommands(CPrinterDoc& doc) {
    EXPECT_EQ(doc.SaveCommandFile("trays.npa"), 0);
    std::ifstream in("trays.npa", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return HexString(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

struct Group {
    int first, second, number, edit, spin;
};
const Group kTray1{1196, 1197, 1198, 1201, 1202}, kTray2{1213, 1214, 1215, 1216, 1217},
    kPaper{1221, 1222, 1223, 1224, 1225}, kEnv{1235, 1234, 1233, 1232, 1231};

bool NumberActive(Driver& d, const Group& g) {
    EXPECT_EQ(d.Enabled(g.edit), d.Enabled(g.spin));
    return d.Enabled(g.edit);
}
} // namespace

class RenumberPage : public PageTest {};

TEST_F(RenumberPage, RadioTriples) {
    Run(8, {
               {"shown: the first radio always disabled, the second too while the value is the first",
                kValues,
                nullptr,
                {},
                [](Driver& d) {
                    for (const Group& g : {kTray1, kTray2, kPaper, kEnv}) {
                        EXPECT_FALSE(d.Enabled(g.first)) << g.first;
                        EXPECT_TRUE(d.Enabled(g.number)) << g.number;
                        EXPECT_EQ(d.Label(g.first), "없음");
                        EXPECT_EQ(d.Label(g.second), "꺼짐");
                    }
                    EXPECT_TRUE(d.Checked(kTray1.first));
                    EXPECT_FALSE(d.Enabled(kTray1.second));
                    EXPECT_EQ(d.Text(kTray1.edit), "0");
                    EXPECT_FALSE(NumberActive(d, kTray1));
                    EXPECT_TRUE(d.Checked(kTray2.second) && d.Enabled(kTray2.second));
                    EXPECT_FALSE(NumberActive(d, kTray2));
                    EXPECT_TRUE(d.Checked(kPaper.number));
                    EXPECT_EQ(d.Text(kPaper.edit), "12");
                    EXPECT_TRUE(NumberActive(d, kPaper));
                    EXPECT_EQ(d.Text(kEnv.edit), "7");
                    EXPECT_EQ(d.Label(1294), " PCL 에뮬레이션  >  트레이 번호");
                    EXPECT_EQ(d.Label(1228), "수동 봉투 지정");
                    EXPECT_TRUE(d.At(1233, 200, 167, 10));
                    EXPECT_TRUE(d.At(1203, 31, 29, 105));
                }},
               {"from the first value only the number can be chosen; it stores the minimum",
                kValues,
                [](Driver& d) {
                    d.Click(kTray1.first);
                    d.Click(kTray1.second);
                    EXPECT_EQ(d.Doc.CurrentValues["ASSIGNTRAY1"], "NONE");
                    d.Click(kTray1.number);
                },
                {{"ASSIGNTRAY1", "0"}},
                [](Driver& d) {
                    EXPECT_TRUE(NumberActive(d, kTray1));
                    d.Reshow(8);
                    EXPECT_TRUE(d.Enabled(kTray1.second)) << "available again once the value is a number";
                    EXPECT_TRUE(d.Checked(kTray1.number));
                }},
               {"choosing 꺼짐 again stores off again; from a number it disables the number; the command "
                "file carries the catalogue's lines for off and none",
                kValues,
                [](Driver& d) {
                    d.Click(kTray2.second);
                    d.Click(kPaper.second);
                },
                {{"ASSIGNTRAY2", "OFF"}, {"ASSIGNMANPAPER", "OFF"}},
                [](Driver& d) {
                    EXPECT_TRUE(d.Checked(kTray2.second));
                    EXPECT_FALSE(NumberActive(d, kPaper));
                    std::string saved = SavedCommands(d.Doc);
                    for (const char* key : {"ASSIGNTRAY2:OFF", "ASSIGNMANPAPER:OFF"})
                        EXPECT_NE(saved.find(CatalogueLine(key)), std::string::npos) << key;
                    // Unchanged values go only in two-way mode, where every value held is sent.
                    EXPECT_EQ(saved.find(CatalogueLine("ASSIGNTRAY1:NONE")) != std::string::npos,
                              d.Doc.WriteOnlyMode == 0);
                }},
               {"the number radio stores the number shown; each arrow step stores",
                kValues,
                [](Driver& d) {
                    d.Click(kEnv.second);
                    d.Click(kEnv.number);
                    EXPECT_EQ(d.Doc.CurrentValues["ASSIGNMANENV"], "7");
                    d.Step(kEnv.spin, +2);
                    d.Step(kTray2.spin, +1); // disabled: nothing
                },
                {{"ASSIGNMANENV", "9"}},
                [](Driver& d) { EXPECT_TRUE(NumberActive(d, kEnv)); }},
           });
}
