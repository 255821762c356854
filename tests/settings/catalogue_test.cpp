// The catalogue's line rules, the descriptor readers, and broken catalogues.
#include "descriptors.h"
#include "npa_catalogue.h"
#include "npa_exchange.h"
#include "support/settings_fixture.h"

#include <algorithm>
#include <fstream>
#include <tuple>

namespace {

using Bytes = std::vector<unsigned char>;

class CatalogueTest : public SettingsFixture {};

bool Listed(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

const char kNpaSections[] = "[NPA READ SETTING]\n"
                            "BlankPgs=A5000650E0E7200001\n"
                            "Tray1=a5000650e0e7200002\n"
                            "TRAY1=A5000650E0E7200003\n" // same name, other case: replaces
                            "Short=A5000650E0\n"         // too short to name an identifier
                            "[NPA WRITE VALUES]\n"
                            "*blankpgs:off=A5000750E0E720000100\n"
                            "BLANKPGS:ON=A5000750E0E720000101\n"
                            "*PwrSvr:1..15..240=A5000750E0E72000100F\n"
                            "*JobTo:0..255=A5000750E0E720001100\n"
                            "AUTOCONT:OFF=A5000750E0E7200030FF\n"
                            "AUTOCONT:0..60=A5000750E0E720003000\n"
                            "AUTOCONT:ON=A5000750E0E720003001\n"
                            "Cust1Name:=A5000650E0E7200040\n"
                            "ODD:X=A5000650E0E720001\n"
                            "LONGNUM:0..99999=A5000A50E0E720005000000000\n"
                            "NOEQUALS LINE\n";

TEST_F(CatalogueTest, NpaLineRules) {
    WriteCatalogue(kNpaSections);
    LoadNpaCatalogue();

    // Read table: duplicates by case collapse to the later line; short entries are not kept.
    EXPECT_EQ(NpaReadCommands.count("TRAY1"), 1u);
    EXPECT_EQ(Hex(NpaReadCommands["TRAY1"].Bytes), "A5000650E0E7200003");
    EXPECT_EQ(NpaReadCommands.count("SHORT"), 0u);
    EXPECT_EQ(NpaReadCommands.count("Tray1"), 0u);

    struct WriteCase {
        const char* key;
        const char* hex; // nullptr: no entry under this key
    } writes[] = {
        {"BLANKPGS:OFF", "A5000750E0E720000100"}, // starred line registers its command too
        {"BLANKPGS:ON", "A5000750E0E720000101"},
        {"PWRSVR", "A5000750E0E72000100F"},
        {"PWRSVR:1..15..240", nullptr},
        {"AUTOCONT:OFF", "A5000750E0E7200030FF"}, // plain line before the template keeps its key
        {"AUTOCONT", "A5000750E0E720003001"},     // the later plain line replaced the template
        {"AUTOCONT:ON", nullptr},
        {"CUST1NAME", "A5000650E0E7200040"},
        {"ODD:X", "A5000650E0E72000"}, // 17 digits: 8 bytes
        {"LONGNUM", "A5000A50E0E720005000000000"},
        {"blankpgs:off", nullptr},
    };
    for (const WriteCase& c : writes) {
        auto it = NpaWriteCommands.find(c.key);
        if (!c.hex) {
            EXPECT_EQ(it, NpaWriteCommands.end()) << c.key;
            continue;
        }
        ASSERT_NE(it, NpaWriteCommands.end()) << c.key;
        EXPECT_EQ(Hex(it->second.Bytes), c.hex) << c.key;
        EXPECT_EQ(it->second.Length(), it->second.Bytes.size());
    }

    struct DefaultCase {
        const char* name;
        const char* value; // nullptr: no default
    } defaults[] = {
        {"BLANKPGS", "OFF"}, {"PWRSVR", "15"}, {"JOBTO", ""}, {"AUTOCONT", nullptr}, {"blankpgs", nullptr}};
    for (const DefaultCase& c : defaults) {
        auto it = NpaDefaultValues.find(c.name);
        if (!c.value) {
            EXPECT_EQ(it, NpaDefaultValues.end()) << c.name;
        } else {
            ASSERT_NE(it, NpaDefaultValues.end()) << c.name;
            EXPECT_EQ(it->second, c.value) << c.name;
        }
    }

    struct ReplyCase {
        const char* name;
        const char* data;
        const char* value;
    } replies[] = {{"BLANKPGS", "00", "OFF"},      {"BLANKPGS", "01", "ON"},
                   {"PWRSVR", "0F", "1..15..240"}, {"AUTOCONT", "FF", "OFF"},
                   {"AUTOCONT", "01", "ON"},       {"ODD", "", "X"},
                   {"CUST1NAME", "", ""},          {"LONGNUM", "00000000", "0..99999"}};
    for (const ReplyCase& c : replies) {
        ASSERT_EQ(NpaReplyValues.count(c.name), 1u) << c.name;
        auto inner = NpaReplyValues[c.name].find(c.data);
        ASSERT_NE(inner, NpaReplyValues[c.name].end()) << c.name << " " << c.data;
        EXPECT_EQ(inner->second, c.value) << c.name << " " << c.data;
    }

    EXPECT_TRUE(Listed(NpaTextSettings, "CUST1NAME"));
    EXPECT_FALSE(Listed(NpaTextSettings, "BLANKPGS"));
    for (const char* name : {"PWRSVR", "JOBTO", "AUTOCONT", "LONGNUM"})
        EXPECT_TRUE(Listed(NpaRangeSettings, name));
    EXPECT_FALSE(Listed(NpaRangeSettings, "ODD"));

    // The tables are built once: a later change of the file is not seen.
    std::ofstream("quillon.ini", std::ios::trunc) << "[NPA READ SETTING]\n";
    LoadNpaCatalogue();
    EXPECT_EQ(NpaReadCommands.size(), 2u);
}

TEST_F(CatalogueTest, HexValues) {
    struct Case {
        const char* digits;
        const char* bytes;
    } cases[] = {{"", ""},     {"A", ""},    {"0aFf", "0AFF"}, {"ABC", "AB"},
                 {"1G", "01"}, {"G1", "00"}, {"7f80", "7F80"}};
    for (const Case& c : cases)
        EXPECT_EQ(Hex(ParseCatalogueHex(c.digits)), c.bytes) << c.digits;
}

TEST_F(CatalogueTest, ListsDropEmptyItems) {
    struct Case {
        const char* text;
        std::vector<std::string> items;
    } cases[] = {{"", {}},
                 {"A", {"A"}},
                 {"OFF,,ON", {"OFF", "ON"}},
                 {",A,", {"A"}},
                 {" A , B", {" A ", " B"}}, // blanks belong to the items
                 {",,,", {}}};
    for (const Case& c : cases)
        EXPECT_EQ(SplitCatalogueList(c.text), c.items) << c.text;
}

const char kDescriptorSections[] =
    "[ListA]\nNpaName=BLANKPGS\nNumValues=2\nValues=OFF,,ON,EXTRA\nValueIds=61246,61266,61233\n"
    "[ListNone]\nNpaName=X\nNumValues=0\nValues=A\nValueIds=61246\n"
    "[ListNoText]\nNpaName=Y\nNumValues=2\nValues=A,B\nValueIds=99999,61269\n"
    "[ListShort]\nNpaName=Z\nNumValues=5\nValues=A,B\nValueIds=61246\n"
    "[Text]\nNpaName=CUST1NAME\nMaxLength=12\n"
    "[TextDefault]\nNpaName=PROPTAG\n"
    "[Check]\nNpaName=AUTOCR\nNumValues=2\nValues=OFF,ON\n"
    "[CheckThree]\nNpaName=AUTOLF\nNumValues=3\nValues=OFF,ON,X\n"
    "[CheckOne]\nNpaName=MODE1\nNumValues=2\nValues=OFF\n"
    "[Range]\nNpaName=LINESPERPG\nMinVal=5\nMaxVal=128\n"
    "[RangeDefault]\nNpaName=R\n"
    "[Switched]\nNpaName=PWRSVR\nMinVal=1\nMaxVal=240\nValues=OFF,UNSPLIT\n"
    "[SwitchedLong]\nNpaName=S\nValues=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
    "[Radio]\nNpaName=ASSIGNTRAY1\nMinVal=1\nMaxVal=199\nNumRadios=2\nValues=OFF,,AUTO,THIRD\n"
    "[RadioNone]\nNpaName=ASSIGNTRAY2\nNumRadios=0\nValues=OFF,AUTO\n"
    "[Lower]\nnpaname=lowercase\n";

TEST_F(CatalogueTest, DescriptorReaders) {
    WriteCatalogue(kDescriptorSections);
    struct ListCase {
        const char* section;
        ValueList expected;
    } lists[] = {
        {"ListA", {{"BLANKPGS:OFF", "꺼짐"}, {"BLANKPGS:ON", "켜짐"}}},
        {"ListNone", {}},
        {"ListNoText", {{"Y:A", ""}, {"Y:B", "Français"}}},
        {"ListShort", {{"Z:A", "꺼짐"}}},
        {"Missing", {}},
    };
    for (const ListCase& c : lists) {
        ValueList list;
        ReadValueList(c.section, list);
        EXPECT_EQ(static_cast<const StringMap&>(list), static_cast<const StringMap&>(c.expected))
            << c.section;
    }

    struct TextCase {
        const char* section;
        std::string name;
        int maxLength;
    } texts[] = {{"Text", "CUST1NAME", 12},
                 {"TextDefault", "PROPTAG", 40},
                 {"Missing", "", 40},
                 {"Lower", "lowercase", 40}};
    for (const TextCase& c : texts) {
        TextSetting t;
        ReadTextSetting(c.section, t);
        EXPECT_EQ(t.NpaName, c.name) << c.section;
        EXPECT_EQ(t.MaxLength, c.maxLength) << c.section;
    }

    struct CheckCase {
        const char* section;
        std::string cleared, set;
    } checks[] = {{"Check", "AUTOCR:OFF", "AUTOCR:ON"},
                  {"CheckThree", "", ""},
                  {"CheckOne", "", ""},
                  {"Missing", "", ""}};
    for (const CheckCase& c : checks) {
        CheckPair p;
        ReadCheckPair(c.section, p);
        EXPECT_EQ(p.ClearedKey, c.cleared) << c.section;
        EXPECT_EQ(p.SetKey, c.set) << c.section;
    }

    RangeSetting range, rangeDefault;
    ReadRangeSetting("Range", range);
    ReadRangeSetting("RangeDefault", rangeDefault);
    EXPECT_EQ(std::tie(range.NpaName, range.MinVal, range.MaxVal), std::make_tuple("LINESPERPG", 5, 128));
    EXPECT_EQ(std::tie(rangeDefault.NpaName, rangeDefault.MinVal, rangeDefault.MaxVal),
              std::make_tuple("R", 0, 120));

    SwitchedRange switched, switchedLong;
    ReadSwitchedRange("Switched", switched);
    ReadSwitchedRange("SwitchedLong", switchedLong);
    EXPECT_EQ(std::tie(switched.NpaName, switched.MinVal, switched.MaxVal, switched.OffValue),
              std::make_tuple("PWRSVR", 1, 240, "OFF,UNSPLIT"));
    EXPECT_EQ(switchedLong.OffValue, "ABCDEFGHIJKLMNOPQRSTUVWX"); // 25-byte buffer

    RadioRange radio, radioNone;
    ReadRadioRange("Radio", radio);
    ReadRadioRange("RadioNone", radioNone);
    EXPECT_EQ(std::tie(radio.NpaName, radio.MinVal, radio.MaxVal, radio.RadioValue1, radio.RadioValue2),
              std::make_tuple("ASSIGNTRAY1", 1, 199, "OFF", "AUTO"));
    EXPECT_EQ(radioNone.RadioValue1 + radioNone.RadioValue2, "");
}

TEST_F(CatalogueTest, BrokenCataloguesReadAsEmpty) {
    std::string hugeLine = "BIG:V=" + std::string(40000, 'A') + "\n";
    std::string manyLines;
    for (int i = 0; i < 3000; ++i)
        manyLines += "N" + std::to_string(i) + ":V=A5000650E0E7200001\n";
    struct Case {
        const char* label;
        const char* content; // nullptr: no file at all
        std::string extra;
        size_t minWrites;
    } cases[] = {
        {"missing file", nullptr, "", 0},
        {"no sections", "just text\nmore=text\n", "", 0},
        {"over-long line", "[NPA WRITE VALUES]\n", hugeLine, 0},
        {"over-long section", "[NPA WRITE VALUES]\n", manyLines, 1000},
        {"odd and foreign hex",
         "[NPA READ SETTING]\nA=A5000650E0E72000ZZ1\nB=\n[NPA WRITE VALUES]\nA:B=XYZ\n:=\n*=\n*\n", "", 1},
    };
    for (const Case& c : cases) {
        if (c.content)
            WriteCatalogue(std::string(c.content) + c.extra);
        else {
            std::remove("quillon.ini");
            settings_internal::ResetNpaCatalogue();
        }
        LoadNpaCatalogue();
        EXPECT_GE(NpaWriteCommands.size(), c.minWrites) << c.label;
        EXPECT_LE(NpaWriteCommands.size(), 3000u) << c.label;
        // Whatever was loaded, building a query stays within its limits.
        Bytes query = BuildQueryCommand();
        ASSERT_GE(query.size(), 8u) << c.label;
        EXPECT_EQ(query.size(), 8u + 2 * query[7]) << c.label;
        ValueList list;
        ReadValueList("BlankPgs", list);
        EXPECT_TRUE(list.empty()) << c.label;
    }
    // A section longer than its buffer keeps only the lines that fit.
    WriteCatalogue("[NPA WRITE VALUES]\n" + manyLines);
    LoadNpaCatalogue();
    EXPECT_LT(NpaWriteCommands.size(), 3000u);
    EXPECT_EQ(NpaWriteCommands.count("N0:V"), 1u);
}

} // namespace
