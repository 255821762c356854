// The settings subcommands of orbis-cli against a simulated printer process on
// LPT1: query, apply one value of each descriptor kind, query again, restart the
// printer, and save then decode a command file.
#include "support/e2e_env.h"

#include "npa_catalogue.h"
#include "printer_doc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <fstream>
#include <sstream>

namespace {

using Lines = CliValues;

class SettingsCli : public E2eTest {
  protected:
    std::unique_ptr<orbis::test::SimProcess> Start() {
        auto sim =
            std::make_unique<orbis::test::SimProcess>(root_.Path(), std::vector<std::string>{"--lpt", "1"});
        EXPECT_TRUE(sim->Ready());
        return sim;
    }
};

// A value different from `current`, one per descriptor kind, chosen from the catalogue's descriptors.
Lines NewValues(const Lines& current) {
    settings_internal::ResetNpaCatalogue();
    CPrinterDoc doc;
    doc.OnNewDocument("LPT1", {}, 0);
    auto now = [&](const std::string& name) {
        auto it = current.find(name);
        return it == current.end() ? std::string() : it->second;
    };
    Lines values;
    for (const auto& [key, text] : doc.BlankPgs) {
        std::string value = key.substr(key.find(':') + 1);
        if (value != now("BLANKPGS")) {
            values["BLANKPGS"] = value;
            break;
        }
    }
    values[doc.Cust1Name.NpaName] = now(doc.Cust1Name.NpaName) == "Quill3x" ? "Mixed7Q" : "Quill3x";
    const CheckPair& check = doc.AutoCR;
    std::string cleared = check.ClearedKey.substr(check.ClearedKey.find(':') + 1);
    std::string set = check.SetKey.substr(check.SetKey.find(':') + 1);
    values[check.SetKey.substr(0, check.SetKey.find(':'))] = now("AUTOCR") == set ? cleared : set;
    auto middle = [&](const std::string& name, int min, int max) {
        int value = (min + max) / 2;
        if (std::to_string(value) == now(name)) ++value;
        values[name] = std::to_string(value);
    };
    middle(doc.LinesPerPg.NpaName, doc.LinesPerPg.MinVal, doc.LinesPerPg.MaxVal);
    middle(doc.PwrSvr.NpaName, doc.PwrSvr.MinVal, doc.PwrSvr.MaxVal);
    const RadioRange& radio = doc.AssignTray1;
    if (now(radio.NpaName) != radio.RadioValue2)
        values[radio.NpaName] = radio.RadioValue2;
    else
        middle(radio.NpaName, radio.MinVal, radio.MaxVal);
    settings_internal::ResetNpaCatalogue();
    return values;
}

std::string Arguments(const Lines& values) {
    std::string args;
    for (const auto& [name, value] : values)
        args += " '" + name + "=" + value + "'";
    return args;
}

TEST_F(SettingsCli, ApplyQueryRestartSaveDecode) {
    auto sim = Start();
    ASSERT_TRUE(sim->Ready());

    CliRun devices = RunCli("devices");
    EXPECT_EQ(devices.status, 0);
    EXPECT_NE(devices.out.find("LPT1"), std::string::npos) << devices.out;
    EXPECT_NE(devices.out.find(" [simulated]\n"), std::string::npos) << "the line names its source";

    CliRun first = RunCli("query LPT1");
    ASSERT_EQ(first.status, 0) << first.out;
    Lines before = ParseValues(first.out);
    ASSERT_GT(before.size(), 50u);

    Lines changes = NewValues(before);
    ASSERT_EQ(changes.size(), 6u);
    CliRun apply = RunCli("apply LPT1" + Arguments(changes));
    ASSERT_EQ(apply.status, 0) << apply.out;

    // No port named: the only printer is chosen.
    CliRun second = RunCli("query");
    ASSERT_EQ(second.status, 0) << second.out;
    Lines after = ParseValues(second.out);
    Lines expected = before;
    for (const auto& [name, value] : changes)
        expected[name] = value;
    EXPECT_EQ(after, expected);

    sim.reset();
    sim = Start();
    CliRun third = RunCli("query LPT1");
    ASSERT_EQ(third.status, 0) << third.out;
    EXPECT_EQ(ParseValues(third.out), expected);

    CliRun save = RunCli("save saved.npa" + Arguments(changes));
    ASSERT_EQ(save.status, 0) << save.out;
    CliRun decode = RunCli("decode saved.npa");
    EXPECT_EQ(decode.status, 0) << decode.out;
    EXPECT_EQ(ParseValues(decode.out), changes);
}

// Exit statuses: 2 usage, 3 no printer, 4 communication, 5 refused, 6 file, 7 findings.
TEST_F(SettingsCli, FailuresGiveTheirExitStatusOnStderr) {
    struct Case {
        const char* args;
        int status;
    } cases[] = {
        {"query LPT1", 3}, // no printer attached: the open fails
        {"probe LPT1", 3},
        {"query", 3},                                      // nothing to choose from
        {"apply LPT1 BLANKPGS=PRINT", 3},                  // open fails
        {"save out.npa NOSUCH=1", 5},                      // the catalogue cannot write it
        {"save out.npa BLANKPGS=ON", 5},                   // not one of the setting's values
        {"save out.npa LINESPERPG=300", 5},                // past the page's range
        {"save out.npa PWRSVR=99999", 5},                  // past the range and the command's one data byte
        {"save out.npa PWRSVR=12x", 5},                    // not a number
        {"save out.npa 'CUST1NAME=가나다라마바사ABC'", 5}, // 17 bytes in code page 949, 10 characters
        {"save out.npa 'CUST1NAME=가나다라마바ABCD'", 0},  // 16 bytes: the most the page takes
        {"save out.npa PWRSVR=OFF LINESPERPG=128", 0},
        {"save out.npa BLANKPGS", 2}, // not NAME=VALUE
        {"--format json apply LPT1 BLANKPGS=PRINT", 2},
        {"--bogus devices", 2},
        {"decode missing.npa", 6},
        {"check missing.ini", 6},
    };
    for (const Case& c : cases) {
        CliRun run = RunCli(std::string(c.args) + " 2>&1 >/dev/null");
        EXPECT_EQ(run.status, c.status) << c.args << ": " << run.out;
        EXPECT_EQ(run.out.empty(), c.status == 0) << c.args << ": errors go to stderr";
    }
}

TEST_F(SettingsCli, PrinterFaultsGiveTheirExitCodes) {
    struct Case {
        const char* fault;
        const char* args;
        int status;
    } cases[] = {
        {"--command-errors", "query LPT1", 4}, // the query is answered with a command error: -2
        {"--refuse-offline", "apply LPT1 BLANKPGS=PRINT", 5}, // -3 before anything is sent
    };
    for (const Case& c : cases) {
        orbis::test::SimProcess sim(root_.Path(), {"--lpt", "1", c.fault});
        ASSERT_TRUE(sim.Ready()) << c.fault;
        CliRun run = RunCli(std::string(c.args) + " 2>&1");
        EXPECT_EQ(run.status, c.status) << c.fault << ": " << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << c.fault << ": " << run.out;
    }
}

// check lists what the program would ignore or misread, by line; the shipped catalogue passes.
TEST_F(SettingsCli, CheckNamesTheLineOfEachCatalogueFault) {
    std::ifstream in(work_ + "/quillon.ini");
    std::vector<std::string> shipped;
    for (std::string line; std::getline(in, line);)
        shipped.push_back(line.substr(0, line.find('\r')));
    ASSERT_EQ(shipped[98], "BLANKPGS:PRINT=A5000740E0E731010101")
        << "the edits below name lines of this file";
    ASSERT_EQ(shipped[322], "*LINESPERPG:5..64..128=A5000740E0E7310504FF");
    ASSERT_EQ(shipped[687], "MaxVal=240") << "[PwrSvr]";
    ASSERT_EQ(shipped[844], "Children=Paper,Finishing,Setup,PclEmulation,PostScript,Ports");
    std::vector<std::string> extraReads; // 50 more settings to read: 134 in all
    for (int i = 10; i < 60; ++i)
        extraReads.push_back("ZZEXTRA" + std::to_string(i) + "=A5000650E0E722FF" + std::to_string(i));
    struct Case {
        const char* what;
        std::function<void(std::vector<std::string>&)> edit;
        std::string expected; // in the output
    } cases[] = {
        {"shipped", [](auto&) {}, "nothing the program would ignore or misread"},
        {"100 kB line", [](auto& l) { l[98] = "BLANKPGS:PRINT=" + std::string(100000, '0'); },
         "broken.ini:99: [NPA WRITE VALUES] the section passes the 32767-byte buffer"},
        {"134 read lines", [&](auto& l) { l.insert(l.begin() + 11, extraReads.begin(), extraReads.end()); },
         "[NPA READ SETTING] ZZEXTRA59: one query holds 125 settings"},
        {"odd digits", [](auto& l) { l[98] = "BLANKPGS:PRINT=A5000740E0E73101010"; },
         "broken.ini:99: [NPA WRITE VALUES] odd number of hex digits"},
        {"non-hex digit", [](auto& l) { l[98] = "BLANKPGS:PRINT=A5000740E0E7310101G1"; },
         "broken.ini:99: [NPA WRITE VALUES] 'G' at digit 19 is not a hex digit"},
        {"11-byte template", [](auto& l) { l[322] = "*LINESPERPG:5..64..128=A5000840E0E7310504FF00"; },
         "broken.ini:323: [NPA WRITE VALUES] numeric template of 11 bytes"},
        {"range past one byte", [](auto& l) { l[687] = "MaxVal=999"; },
         "broken.ini:688: [PwrSvr] range 1 to 999 does not fit the one data byte"},
        {"no write line", [](auto& l) { l.erase(l.begin() + 98); },
         "[BlankPgs] value BLANKPGS:PRINT has no write line"},
        {"missing tree section",
         [](auto& l) { l[844] = "Children=Papper,Finishing,Setup,PclEmulation,PostScript,Ports"; },
         "broken.ini:845: [TreeRoot] names Papper, a section that does not exist"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = shipped;
        c.edit(lines);
        std::ofstream out(work_ + "/broken.ini", std::ios::trunc);
        for (const std::string& line : lines)
            out << line << "\r\n";
        out.close();
        CliRun run = RunCli("check broken.ini 2>/dev/null");
        EXPECT_EQ(run.status, c.what == std::string("shipped") ? 0 : 7) << c.what << ": " << run.out;
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.what << ": " << run.out.substr(0, 2000);
    }
}

} // namespace
