// Registry calls over the hive file: round trips, enumeration, broken, hand-written
// and planted hives, and two processes writing at once.
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using orbis::platformtest::TempRoot;

namespace {

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
}

HKEY OpenKey(const char* path) {
    HKEY key = nullptr;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) == ERROR_SUCCESS ? key : nullptr;
}

// The value's bytes, or "<missing>".
std::string Query(HKEY key, const char* name) {
    BYTE out[64];
    DWORD size = sizeof out;
    if (RegQueryValueExA(key, name, nullptr, nullptr, out, &size) != ERROR_SUCCESS) return "<missing>";
    return std::string(reinterpret_cast<char*>(out), size);
}

// RegQueryInfoKeyA's count of subkeys, longest subkey name and count of values.
std::array<DWORD, 3> Info(HKEY key) {
    std::array<DWORD, 3> n = {99, 99, 99};
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &n[0], &n[1], nullptr, &n[2], nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    return n;
}

TEST(Registry, ValuesRoundTripThroughTheHiveFile) {
    TempRoot root;
    DWORD disposition = 0;
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\VANTREL\\VANDVC", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const struct Case {
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"LoggingLevel", REG_DWORD, std::string("\x13\0\0\0", 4)},
        {"Blob", REG_BINARY, std::string("\0\x01\xA5\xFF", 4)},
        {"Name", REG_SZ, std::string("Orbis \"LP\" 2200\\x\0", 18)},
        {"", REG_SZ, std::string("default\0", 8)},
        {"Multi", REG_MULTI_SZ, std::string("a\0b\0", 5)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegSetValueExA(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                                 DWORD(c.data.size())),
                  ERROR_SUCCESS);
    RegCloseKey(key);

    // A second open (other case) sees everything, read back from the file.
    HKEY again = OpenKey("software\\vantrel\\vandvc");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Info(again), (std::array<DWORD, 3>{0, 0, 5}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = 0, size = 0;
        ASSERT_EQ(RegQueryValueExA(again, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, c.data.size());
        BYTE small[1];
        DWORD smallSize = sizeof small;
        EXPECT_EQ(RegQueryValueExA(again, c.name, nullptr, nullptr, small, &smallSize), ERROR_MORE_DATA);
        EXPECT_EQ(smallSize, c.data.size());
        std::string exact(size, '\0'); // room for exactly the value is enough
        ASSERT_EQ(
            RegQueryValueExA(again, c.name, nullptr, &type, reinterpret_cast<BYTE*>(exact.data()), &size),
            ERROR_SUCCESS);
        EXPECT_EQ(exact, c.data);
        EXPECT_EQ(type, c.type);
    }
    EXPECT_EQ(Query(again, "loggingLEVEL"), cases[0].data);
    EXPECT_EQ(Query(again, "Absent"), "<missing>");
    EXPECT_EQ(RegDeleteValueA(again, "BLOB"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(again, "Blob"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);

    const std::string file = root.ReadFile("registry.reg");
    EXPECT_EQ(file.rfind("REGEDIT4\n", 0), 0u);
    for (const char* line : {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTREL\\VANDVC]",
                             "\"LoggingLevel\"=dword:00000013", "\"Name\"=\"Orbis \\\"LP\\\" 2200\\\\x\""})
        EXPECT_NE(file.find(line), std::string::npos) << line;
}

TEST(Registry, OpenCreateEnumerateAndDelete) {
    TempRoot root;
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    const std::string printers = "System\\CurrentControlSet\\Control\\Print\\Printers";
    for (const char* name : {"Orbis LP 2200", "Another Printer", "B"})
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, (printers + "\\" + name).c_str()));
    DWORD disposition = 0;
    RegCloseKey(
        Create(HKEY_LOCAL_MACHINE, "SYSTEM\\currentcontrolset\\Control\\Print\\Printers\\b", &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    HKEY list = OpenKey(printers.c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Info(list), (std::array<DWORD, 3>{3, 15, 0})); // "Another Printer" is the longest
    const struct Case {
        DWORD index, bufferSize;
        LONG result;
        std::string name;
    } cases[] = {
        {0, 64, ERROR_SUCCESS, "Another Printer"}, {1, 64, ERROR_SUCCESS, "B"},
        {2, 64, ERROR_SUCCESS, "Orbis LP 2200"},   {2, 13, ERROR_MORE_DATA, ""},
        {2, 14, ERROR_SUCCESS, "Orbis LP 2200"},   {3, 64, ERROR_NO_MORE_ITEMS, ""},
    };
    for (const auto& c : cases) {
        char name[64] = "";
        DWORD size = c.bufferSize;
        EXPECT_EQ(RegEnumKeyExA(list, c.index, name, &size, nullptr, nullptr, nullptr, nullptr), c.result);
        EXPECT_EQ(c.result == ERROR_SUCCESS ? std::string(name, size) : "", c.name);
    }
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet"),
              ERROR_ACCESS_DENIED); // has subkeys
    EXPECT_EQ(RegDeleteKeyA(list, "b"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(list, "b"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Info(list)[0], 2u);
    EXPECT_EQ(RegCloseKey(list), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(list), ERROR_INVALID_HANDLE);
}

// A hive that is not one (garbage, a value outside any key, far beyond anything this program
// writes) is put aside under the next free name, never parsed nor overwritten.
TEST(Registry, BrokenHivesArePutAsideAndHandWrittenOnesRead) {
    TempRoot root;
    std::string big = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Big]\n";
    while (big.size() <= (1u << 20))
        big += "\"v" + std::to_string(big.size()) + "\"=dword:00000001\n";
    const std::pair<std::string, const char*> broken[] = {
        {"this is not a registry\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:zz\n", "X"},
        {"REGEDIT4\n\"orphan\"=\"value\"\n", "SOFTWARE\\New"},
        {big, "Big"},
    };
    for (size_t i = 0; i < std::size(broken); ++i) {
        root.WriteFile("registry.reg", broken[i].first);
        EXPECT_EQ(OpenKey(broken[i].second), nullptr) << i;
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
        EXPECT_NE(root.ReadFile("registry.reg").find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]"),
                  std::string::npos);
        for (size_t j = 0; j <= i; ++j)
            EXPECT_EQ(root.ReadFile("registry.reg.corrupt-" + std::to_string(j + 1)), broken[j].first) << j;
    }
    // A value that would make such a hive is refused.
    HKEY huge = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Huge");
    std::string blob(1 << 20, 'x');
    EXPECT_NE(RegSetValueExA(huge, "blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                             DWORD(blob.size())),
              ERROR_SUCCESS);
    RegCloseKey(huge);
    EXPECT_LT(std::filesystem::file_size(root.Path() + "/registry.reg"), 4096u);

    const std::string handWritten = "REGEDIT4\r\n\r\n; comment\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
                                    "\"Port\"=\"USB001\"\r\n\"Bits\"=hex:01,02,\\\r\n  03\r\n";
    root.WriteFile("registry.reg", handWritten);
    HKEY parent = OpenKey("a"); // implied by its subkey
    EXPECT_NE(parent, nullptr);
    RegCloseKey(parent);
    HKEY key = OpenKey("A\\B");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Query(key, "Port"), std::string("USB001\0", 7));
    EXPECT_EQ(Query(key, "Bits"), "\x01\x02\x03");
    RegCloseKey(key);
}

// Links planted at the hive's files are never followed (a dangling one creates nothing),
// and what the hive store creates is for the user alone.
TEST(Registry, PlantedLinksAreNeverFollowed) {
    namespace fs = std::filesystem;
    const std::string hive = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Secret]\n\"a\"=dword:00000001\n";
    const struct Case {
        const char* link; // planted at this name, pointing at "precious" (holding `hive`)
        bool dangling;    // "precious" does not exist
        bool writes;      // a value can still be set
    } cases[] = {
        {"registry.reg", false, false},          // neither read through nor replaced
        {"registry.reg.lock", false, false},     // not opened through
        {"registry.reg.lock", true, false},      // not created through
        {"registry.reg.tmp-PID-N", false, true}, // the temporary file: a fresh name of our own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        TempRoot root;
        const std::string r = root.Path(), tmp = r + "/registry.reg.tmp-" + std::to_string(getpid()) + "-";
        if (!c.dangling) root.WriteFile("precious", hive);
        for (int n = 0; n < (c.writes ? 300 : 1); ++n)
            fs::create_symlink(r + "/precious", c.writes ? tmp + std::to_string(n) : r + "/" + c.link);
        EXPECT_EQ(OpenKey("Secret"), nullptr); // the target is never read as the hive
        HKEY key = nullptr;
        DWORD one = 1;
        LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Mine", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
        if (rc == ERROR_SUCCESS)
            rc = RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
        RegCloseKey(key);
        EXPECT_EQ(rc == ERROR_SUCCESS, c.writes);
        EXPECT_EQ(root.ReadFile("precious"), c.dangling ? "" : hive);
        EXPECT_EQ(fs::exists(r + "/precious"), !c.dangling);
        EXPECT_TRUE(fs::is_symlink(c.writes ? tmp + "0" : r + "/" + c.link));
        if (c.writes) {
            EXPECT_FALSE(fs::is_symlink(r + "/registry.reg"));
            for (const char* file : {"/registry.reg", "/registry.reg.lock"})
                EXPECT_EQ(fs::status(r + file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        }
    }
}

TEST(Registry, TwoWriterProcessesLoseNothing) {
    TempRoot root;
    // Read here first, once the file's time stamp is older than a clock tick could
    // be (so the file is not compared again unless its stamp changes): what the
    // writers add must be seen all the same.
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    HKEY before = OpenKey("SOFTWARE\\Race");
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(Info(before)[2], 0u);
    RegCloseKey(before);
    pid_t children[2];
    const char* prefixes[2] = {"first", "second"};
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) { // 200 distinct values, as fast as it can
            HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race");
            for (DWORD v = 0; v < 200; ++v) {
                std::string name = prefixes[i] + std::to_string(v);
                if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4))
                    _exit(3);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HKEY key = OpenKey("SOFTWARE\\Race");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Info(key)[2], 400u);
    for (const char* prefix : prefixes)
        EXPECT_EQ(Query(key, (std::string(prefix) + "199").c_str()), std::string("\xC7\0\0\0", 4));
    RegCloseKey(key);
    for (const auto& entry : std::filesystem::directory_iterator(root.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos); // no leftovers
}

} // namespace
