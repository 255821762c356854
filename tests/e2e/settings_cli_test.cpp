// orbis-cli as a user runs it: exit statuses, the read-back and profiles across
// two simulated printers, the root kept from other users, and the catalogue check.
#include "support/e2e_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

namespace {

class SettingsCli : public E2eTest {};

// Text with a line break or ESC, from a command file, is shown escaped in the
// terminal's UTF-8: it never forges a NAME=VALUE line or drives the terminal.
TEST_F(SettingsCli, DecodedTextIsShownEscaped) {
    const std::string forged =
        "\"CUST1NAME=가$(printf '\\nBLANKPGS=\\033[7m')\""; // 16 bytes in code page 949
    ASSERT_EQ(RunCli("save forged.npa " + forged).status, 0);
    EXPECT_EQ(RunCli("decode forged.npa").out, "CUST1NAME=가\\x0ABLANKPGS=\\x1B[7m\n");
}

// Exit statuses: 2 usage, 3 no printer, 4 communication, 5 refused, 6 file, 7
// findings; errors on stderr (a printer's fault, on a simulated LPT1: one line).
TEST_F(SettingsCli, FailuresGiveTheirExitStatusOnStderr) {
    struct Case {
        const char* args;
        int status;
        const char* fault = ""; // a simulated printer with this fault attached, if any
    } cases[] = {
        {"query LPT1", 3}, // no printer attached: the open fails
        {"query", 3},      // nothing to choose from
        {"apply LPT1 BLANKPGS=PRINT", 3},
        {"save out.npa NOSUCH=1", 5},                      // the catalogue cannot write it
        {"save out.npa BLANKPGS=ON", 5},                   // not one of the setting's values
        {"save out.npa LINESPERPG=300", 5},                // past the page's range
        {"save out.npa PWRSVR=99999", 5},                  // past the range and the command's one data byte
        {"save out.npa PWRSVR=12x", 5},                    // not a number
        {"save out.npa 'CUST1NAME=가나다라마바사ABC'", 5}, // 17 bytes in code page 949, 10 characters
        {"save out.npa 'CUST1NAME=가나다라마바ABCD'", 0},  // 16 bytes: the most the page takes
        {"save out.npa 'CUST1NAME=A😀'", 2},                // no such character in code page 949
        {"save out.npa PWRSVR=OFF LINESPERPG=128", 0},
        {"save out.npa PWRSVR=1 LINESPERPG=5", 0},   // both ends of a range are taken
        {"save out.npa LINESPERPG=4", 5},            // below the page's range
        {"save out.npa BLANKPGS", 2},                // not NAME=VALUE
        {"save keep.npa BLANKPGS=PRINT BOGUS=1", 5}, // refused before anything is written: keep.npa stays
        {"--format json apply LPT1 BLANKPGS=PRINT", 2},
        {"decode missing.npa", 6},
        {"decode /dev/zero", 6}, // endless: refused at the size no command file reaches
        {"decode big.npa", 6},   // 1 MiB and a byte
        {"apply LPT1 --from missing.profile", 6},
        {"apply LPT1 --from bad.profile", 5}, // a value the catalogue does not allow: nothing is sent
        {"restore LPT1", 6},                  // no backup yet
        {"export out.profile LPT1", 2},       // a file is no port
        // Last: an apply keeps a backup first.
        {"query LPT1", 4, "--command-errors"}, // the query is answered with a command error: -2
        {"apply LPT1 BLANKPGS=PRINT", 5, "--refuse-offline"}, // -3 before anything is sent
    };
    std::ofstream("bad.profile") << "[Profile]\nModel=Orbis LP 2200\n[Settings]\nLINESPERPG=500\n";
    std::string good(86, '\xA5');
    std::ofstream("keep.npa", std::ios::binary) << good;
    std::ofstream("big.npa", std::ios::binary) << std::string((1 << 20) + 1, '\xA5');
    for (const Case& c : cases) {
        std::optional<orbis::test::SimProcess> sim;
        if (*c.fault) {
            sim.emplace(root_.Path(), std::vector<std::string>{"--lpt", "1", "--marker", "VNPAP", c.fault});
            ASSERT_TRUE(sim->Ready()) << c.fault;
        }
        CliRun run = RunCli(std::string(c.args) + " 2>&1 >/dev/null");
        EXPECT_EQ(run.status, c.status) << c.args << ": " << run.out;
        const size_t error = run.out.find("orbis-cli: ");
        EXPECT_EQ(error == std::string::npos, c.status == 0) << c.args << ": " << run.out;
        if (*c.fault) {
            EXPECT_EQ(error, run.out.rfind("orbis-cli: ")) << "one line: " << run.out;
        }
    }
    std::stringstream kept;
    kept << std::ifstream("keep.npa", std::ios::binary).rdbuf();
    EXPECT_EQ(kept.str(), good);
    // No temporary file of the failed saves is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_NE(entry.path().extension(), ".TMP") << entry.path();
}

// The printer on LPT1 has a narrower range than the catalogue assumes, and
// refuses without a word, as any printer does a write.
TEST_F(SettingsCli, ReadBackBackupRestoreAndProfilesAcrossTwoPrinters) {
    orbis::test::SimProcess a(root_.Path(), {"--lpt", "1", "--marker", "VNPAP", "--number-max", "100"});
    orbis::test::SimProcess b(root_.Path(), {"--lpt", "2", "--marker", "VNPAP"});
    ASSERT_TRUE(a.Ready() && b.Ready());
    auto run = [](const std::string& args, int status) {
        CliRun r = RunCli(args);
        EXPECT_EQ(r.status, status) << args << ": " << r.out;
        return r.out;
    };
    const std::string devices = run("devices", 0);
    EXPECT_NE(devices.find("LPT2"), std::string::npos) << devices;
    EXPECT_NE(devices.find(" [simulated]\n"), std::string::npos) << "the line names its source";
    const std::string probe = run("probe LPT2 2>&1", 0);
    for (const char* line : {"open: DVC_OK (0)", "family: Orbis LP 2200 (marker \"VNPAP\")",
                             "npa mode: NPA_AUTO (1)", "unidirectional: no"})
        EXPECT_NE(probe.find(line), std::string::npos) << probe;
    const std::string refused = run("apply LPT1 PWRSVR=150 LINESPERPG=61 2>&1", 8);
    EXPECT_NE(refused.find("not taken: PWRSVR=150 (the printer holds \"30\")"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("LINESPERPG"), std::string::npos) << refused;

    // A's configuration carried to B by a profile; B's own taken back from its backup.
    const std::string before = run("query LPT2", 0);
    EXPECT_NE(before.find("LINESPERPG=64"), std::string::npos) << before;
    run("export LPT1 a.profile", 0);
    EXPECT_EQ(run("diff a.profile LPT2", 7), "LINESPERPG: 61 | 64\n") << "only what A took differs";
    run("apply LPT2 --from a.profile", 0);
    EXPECT_EQ(run("diff LPT1 LPT2", 0), "");
    run("restore LPT2", 0);
    EXPECT_EQ(run("query LPT2", 0), before) << "the apply had changed LINESPERPG to A's 61";
}

// Another local user gets nothing of a root the programs made, even under the
// most permissive umask: each file and the printer socket are the owner's alone
// (the kernel then refuses the others; that the programs refuse a root not
// theirs is the platform tests' table).
TEST_F(SettingsCli, TheRootIsTheOwnersAloneUnderAnyUmask) {
    ASSERT_EQ(chmod(root_.Path().c_str(), 0755), 0); // like a home directory others may pass through
    const std::string shared = root_.Path() + "/state";
    const std::string env = "ORBIS_ROOT='" + shared + "'";
    const mode_t previous = umask(0);
    orbis::test::SimProcess sim(shared, {"--lpt", "1", "--marker", "VNPAP"});
    const bool ready = sim.Ready();
    EXPECT_EQ(RunCli("log-level 0x1F", env).status, 0);
    EXPECT_EQ(RunCli("query LPT1", env).status, 0);
    umask(previous);
    ASSERT_TRUE(ready);
    // Not only through the root's mode: each one itself.
    for (const char* name :
         {"", "/dev", "/dev/LPT1", "/registry.reg", "/registry.reg.lock", "/c/VanDvc32.log"}) {
        struct stat st {};
        EXPECT_EQ(stat((shared + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 077, 0u) << name;
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
