// The catalogue's line rules, the descriptor readers, and broken catalogues.
#include "descriptors.h"
#include "npa_catalogue.h"
#include "npa_exchange.h"
#include "support/settings_fixture.h"

#include <cstdio>
#include <fstream>
#include <type_traits>

namespace {

class CatalogueTest : public SettingsFixture {};

const char kNpaSections[] = "[NPA READ SETTING]\n"
                            "BlankPgs=A5000650E0E7200001\n"
                            "Tray1=a5000650e0e7200002\n"
                            "TRAY1=A5000650E0E7200003\n" // same name, other case: replaces
                            "Short=A5000650E0\n"         // too short to name an identifier
                            "[NPA WRITE VALUES]\n"
                            "*blankpgs:off=a5000750e0e720000100\n"
                            "BLANKPGS:ON=A5000750E0E720000101\n"
                            "*PwrSvr:1..15..240=A5000750E0E72000100F\n"
                            "*JobTo:0..255=A5000750E0E720001100\n"
                            "AUTOCONT:OFF=A5000750E0E7200030FF\n"
                            "AUTOCONT:0..60=A5000750E0E720003000\n"
                            "AUTOCONT:ON=A5000750E0E720003001\n"
                            "Cust1Name:=A5000650E0E7200040\n"
                            "BADHEX:X=A5000650E0E720001G\n"
                            "LONGNUM:0..99999=A5000A50E0E720005000000000\n"
                            "NOEQUALS LINE\n";

StringMap Hexes(const std::map<std::string, NpaCommand>& table) {
    StringMap hexes;
    for (const auto& [key, command] : table)
        hexes[key] = Hex(command.Bytes);
    return hexes;
}

TEST_F(CatalogueTest, NpaLineRules) {
    WriteCatalogue(kNpaSections);
    LoadNpaCatalogue();
    // Duplicates by case collapse to the later line; a too-short entry is not kept.
    EXPECT_EQ(Hexes(NpaReadCommands),
              (StringMap{{"BLANKPGS", "A5000650E0E7200001"}, {"TRAY1", "A5000650E0E7200003"}}));
    EXPECT_EQ(Hexes(NpaWriteCommands),
              (StringMap{
                  {"BLANKPGS:OFF", "A5000750E0E720000100"}, // starred lines too, in any case
                  {"BLANKPGS:ON", "A5000750E0E720000101"},
                  {"PWRSVR", "A5000750E0E72000100F"}, // templates by name alone
                  {"JOBTO", "A5000750E0E720001100"},
                  {"AUTOCONT:OFF", "A5000750E0E7200030FF"}, // before its template
                  {"AUTOCONT", "A5000750E0E720003001"},     // a later plain line replaces it
                  {"CUST1NAME", "A5000650E0E7200040"},
                  {"BADHEX:X", "A5000650E0E7200001"}, // "1G" reads as 01
                  {"LONGNUM", "A5000A50E0E720005000000000"},
              }));
    // Two "..": the middle number; one "..": no number.
    EXPECT_EQ(NpaDefaultValues, (StringMap{{"BLANKPGS", "OFF"}, {"PWRSVR", "15"}, {"JOBTO", ""}}));
    EXPECT_EQ(NpaReplyValues, (std::map<std::string, StringMap>{
                                  {"BLANKPGS", {{"00", "OFF"}, {"01", "ON"}}},
                                  {"PWRSVR", {{"0F", "1..15..240"}}},
                                  {"JOBTO", {{"00", "0..255"}}},
                                  {"AUTOCONT", {{"FF", "OFF"}, {"00", "0..60"}, {"01", "ON"}}},
                                  {"CUST1NAME", {{"", ""}}},
                                  {"BADHEX", {{"", "X"}}}, // 9 bytes: empty data
                                  {"LONGNUM", {{"00000000", "0..99999"}}},
                              }));

    // The tables are built once: a later change of the file is not seen.
    std::ofstream("quillon.ini", std::ios::trunc) << "[NPA READ SETTING]\n";
    LoadNpaCatalogue();
    EXPECT_EQ(NpaReadCommands.size(), 2u);
}

const char kDescriptorSections[] =
    "[ListA]\nNpaName=BLANKPGS\nNumValues=2\nValues=OFF,,ON,EXTRA\nValueIds=61246,61266,61233\n"
    "[ListNoText]\nNpaName=Y\nNumValues=2\nValues=A,B\nValueIds=99999,61269\n"
    "[Text]\nNpaName=CUST1NAME\nMaxLength=12\n"
    "[Check]\nNpaName=AUTOCR\nNumValues=2\nValues=OFF,ON\n"
    "[CheckThree]\nNpaName=AUTOLF\nNumValues=3\nValues=OFF,ON,X\n"
    "[Range]\nNpaName=LINESPERPG\nMinVal=5\nMaxVal=128\n"
    "[Switched]\nNpaName=PWRSVR\nMinVal=1\nMaxVal=240\nValues=OFF,UNSPLIT\n"
    "[SwitchedLong]\nNpaName=S\nValues=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
    "[Radio]\nNpaName=ASSIGNTRAY1\nMinVal=1\nMaxVal=199\nNumRadios=2\nValues=OFF,,AUTO,THIRD\n"
    "[RadioNone]\nNpaName=ASSIGNTRAY2\nNumRadios=0\nValues=OFF,AUTO\n";

// A descriptor as one line of text, e.g. "PWRSVR 1..240 OFF" or "A:OFF=text;A:ON=text;".
std::string Describe(const ValueList& d) {
    std::string out;
    for (const auto& [key, text] : d)
        out += key + "=" + text + ";";
    return out;
}
std::string Describe(const TextSetting& d) {
    return d.NpaName + "/" + std::to_string(d.MaxLength);
}
std::string Describe(const CheckPair& d) {
    return d.ClearedKey + "|" + d.SetKey;
}
template <typename R> std::string Describe(const R& d) {
    std::string out = d.NpaName + " " + std::to_string(d.MinVal) + ".." + std::to_string(d.MaxVal);
    if constexpr (std::is_same_v<R, SwitchedRange>) out += " " + d.OffValue;
    if constexpr (std::is_same_v<R, RadioRange>) out += " " + d.RadioValue1 + "|" + d.RadioValue2;
    return out;
}

template <typename T> std::string Read(void (*reader)(const char*, T&), const char* section) {
    T descriptor;
    reader(section, descriptor);
    return Describe(descriptor);
}

TEST_F(CatalogueTest, DescriptorReaders) {
    WriteCatalogue(kDescriptorSections);
    struct Case {
        std::string read;
        const char* expected;
    } cases[] = {
        {Read(ReadValueList, "ListA"), "BLANKPGS:OFF=꺼짐;BLANKPGS:ON=켜짐;"},
        {Read(ReadValueList, "ListNoText"), "Y:A=;Y:B=Français;"}, // an id with no text: empty text
        {Read(ReadTextSetting, "Text"), "CUST1NAME/12"},
        {Read(ReadCheckPair, "Check"), "AUTOCR:OFF|AUTOCR:ON"},
        {Read(ReadCheckPair, "CheckThree"), "|"},
        {Read(ReadRangeSetting, "Range"), "LINESPERPG 5..128"},
        {Read(ReadSwitchedRange, "Switched"), "PWRSVR 1..240 OFF,UNSPLIT"},
        {Read(ReadSwitchedRange, "SwitchedLong"), "S 0..120 ABCDEFGHIJKLMNOPQRSTUVWX"}, // 25-byte buffer
        {Read(ReadRadioRange, "Radio"), "ASSIGNTRAY1 1..199 OFF|AUTO"},
        {Read(ReadRadioRange, "RadioNone"), "ASSIGNTRAY2 0..120 |"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.read, c.expected);
}

TEST_F(CatalogueTest, BrokenCataloguesReadAsEmpty) {
    std::string hugeLine = "BIG:V=" + std::string(40000, 'A') + "\n";
    std::string manyLines;
    for (int i = 0; i < 3000; ++i)
        manyLines += "N" + std::to_string(i) + ":V=A5000650E0E7200001\n";
    struct Case {
        const char* label;
        std::string content; // empty: no file at all
        size_t minWrites;
    } cases[] = {
        {"missing file", "", 0},
        {"over-long line", "[NPA WRITE VALUES]\n" + hugeLine, 0},
        {"odd and foreign hex",
         "[NPA READ SETTING]\nA=A5000650E0E72000ZZ1\nB=\n[NPA WRITE VALUES]\nA:B=XYZ\n:=\n*=\n*\n", 1},
        {"over-long section", "[NPA WRITE VALUES]\n" + manyLines, 1000}, // stays last: checked below
    };
    for (const Case& c : cases) {
        WriteCatalogue(c.content);
        if (c.content.empty()) std::remove("quillon.ini");
        LoadNpaCatalogue();
        EXPECT_GE(NpaWriteCommands.size(), c.minWrites) << c.label;
        // A section longer than its buffer keeps only the lines that fit.
        EXPECT_LT(NpaWriteCommands.size(), 3000u) << c.label;
        // Whatever was loaded, building a query stays within its limits.
        std::vector<unsigned char> query = BuildQueryCommand();
        ASSERT_GE(query.size(), 8u) << c.label;
        EXPECT_EQ(query.size(), 8u + 2 * query[7]) << c.label;
        EXPECT_EQ(Read(ReadValueList, "BlankPgs"), "") << c.label;
    }
    EXPECT_EQ(NpaWriteCommands.count("N0:V"), 1u); // the lines that fit are kept
}

} // namespace
