// The profile calls behave as the Windows ones do: names without regard to case,
// trimming, quotes, truncation, NUL-separated lists, integer parsing, and a cached
// copy that notices a rewritten or deleted file.
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The file is named as the program names its catalogue: relative to the current directory.
const char kIni[] = ".\\test.ini";

class ProfileTest : public ::testing::Test {
  protected:
    static void Write(const std::string& content, const char* file = "test.ini") {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    }
    // The text copied (up to the count returned); the buffer is checked for its NUL.
    static std::string String(const char* section, const char* key, const char* fallback = "DEF",
                              DWORD size = 256, const char* file = kIni) {
        std::string buffer(size + 8, '#');
        DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file);
        EXPECT_EQ(buffer[n], '\0') << section << "/" << key;
        return buffer.substr(0, n);
    }
    orbis::platformtest::TempRoot root; // and the current directory under it
};

TEST_F(ProfileTest, StringAndIntegerLookupsAndTruncation) {
    Write(
        "; comment line\n[ section1 ]\n  key1 =  value one  \nQuoted=\"quoted value\"\nSingle='single'\n"
        "Mismatched=\"half'\nEmpty=\nBare=\"\"\nlonely "
        "line\n=val\nDup=first\ndup=second\n[Other]\nx=1\nk=val1\n"
        "[n]\nplus=+1\nmixed=42A\nletter=B\nwrap=4294967297\nneg=-5\nempty=\nspaced=  17  \nquoted=\"9\"\n");
    const struct Case {
        const char *section, *key, *fallback;
        std::string expected;
        DWORD size = 256;
    } cases[] = {
        {"section1", "key1", "DEF", "value one"},      // trimmed around key and value
        {"SECTION1", "KEY1", "DEF", "value one"},      // names without regard to case
        {"  section1 ", "key1", "DEF", "value one"},   // section name trimmed
        {"section1", "Quoted", "DEF", "quoted value"}, // matching double quotes removed
        {"section1", "single", "DEF", "single"},       // matching single quotes removed
        {"section1", "Mismatched", "DEF", "\"half'"},  // unmatched quotes kept
        {"section1", "Empty", "DEF", ""},              // present but empty is not the default
        {"section1", "Bare", "DEF", ""},               // a pair of quotes alone is empty
        {"section1", "missing", "DEF", "DEF"},
        {"nosection", "key1", "DEF", "DEF"},
        {"section1", "missing", nullptr, ""}, // NULL default reads as empty
        {"", "key1", "DEF", "DEF"},
        {"section1", "", "DEF", "DEF"},
        {"section1", "dup", "DEF", "first"}, // the first of two equal keys wins
        {"Other", "X", "DEF", "1"},
        {"Other", "k", "", "val1", 5},
        {"Other", "k", "", "val", 4}, // cut to size-1
        {"Other", "k", "", "v", 2},
        {"Other", "k", "", "", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(String(c.section, c.key, c.fallback, c.size), c.expected)
            << c.section << "/" << c.key << c.size;
    EXPECT_EQ(String("section1", "key1", "D", 16, "none.ini"), "D"); // missing or empty file name
    EXPECT_EQ(String("section1", "key1", "D", 16, ""), "D");
    const struct IntCase {
        const char* key;
        INT fallback;
        UINT expected;
    } ints[] = {
        {"plus", 7, 1},    {"mixed", 7, 42},        {"letter", 7, 0}, // not the default
        {"wrap", 7, 1},    {"neg", 7, 0xFFFFFFFBu}, {"empty", 7, 7},  {"missing", -3, 0xFFFFFFFDu},
        {"spaced", 7, 17}, {"quoted", 7, 9},
    };
    for (const IntCase& c : ints)
        EXPECT_EQ(GetPrivateProfileIntA("n", c.key, c.fallback, kIni), c.expected) << c.key;
}

TEST_F(ProfileTest, NameListsAndSections) {
    // Lines end in LF, CR LF, CR alone, or nothing at the end of the file.
    Write("[First]\na=1\nno equals here\nB = 2\n[Second]\n"
          "[ex]\r\nname1=val1\r\n; not returned\r\nname2=\r\n  name3  "
          "\r\nname4=val4\r\n[cr]\ra=1\rb=two\r[next]\r\nq=\"kept\"");
    const std::string full("name1=val1\0name2=\0name3\0name4=val4\0", 35);
    const struct Case {
        bool section;     // GetPrivateProfileSectionA; otherwise the name list of GetPrivateProfileStringA
        const char* name; // nullptr: the section names
        DWORD size, expectedCount;
        std::string expected; // including the final double NUL
    } cases[] = {
        {false, nullptr, 64, 24, std::string("First\0Second\0ex\0cr\0next\0\0", 25)},
        {false, nullptr, 10, 8, std::string("First\0Se\0\0", 10)}, // cut list keeps its double NUL
        {false, "first", 64, 4, std::string("a\0B\0\0", 5)},       // a line without "=" is no key
        {false, "first", 4, 2, std::string("a\0\0\0", 4)},
        {true, "ex", 100, 35, full + '\0'},
        {true, "EX", 24, 22, std::string("name1=val1\0name2=\0name\0\0", 24)}, // last line cut
        {true, "second", 100, 0, ""},
        {true, "absent", 100, 0, ""},
        {true, "cr", 100, 10, std::string("a=1\0b=two\0\0", 11)},
        {true, "next", 100, 9, std::string("q=\"kept\"\0\0", 10)}, // quotes kept here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.name ? c.name : "(sections)") << " size " << c.size);
        std::string buffer(c.size, '#');
        EXPECT_EQ(c.section ? GetPrivateProfileSectionA(c.name, buffer.data(), c.size, kIni)
                            : GetPrivateProfileStringA(c.name, nullptr, "", buffer.data(), c.size, kIni),
                  c.expectedCount);
        EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected);
    }
}

TEST_F(ProfileTest, CachedCopyNoticesRewriteAndDeletion) {
    // Same size rewritten at once, longer, deleted, back again.
    for (const char* value :
         std::initializer_list<const char*>{"old", "new", "longer value", nullptr, "first"}) {
        value ? Write(std::string("[s]\nk=") + value + "\n") : (void)std::remove("test.ini");
        EXPECT_EQ(String("s", "k"), value ? value : "DEF");
    }
    // Readers on other threads while the file is replaced whole, as an installer would.
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            while (!stop) {
                char buffer[32];
                GetPrivateProfileStringA("s", "k", "", buffer, sizeof buffer, kIni);
                bad += std::string(buffer) != "first" && std::string(buffer) != "second, longer";
            }
        });
    for (int i = 0; i < 200; ++i) {
        Write(i % 2 ? "[s]\nk=first\n" : "[s]\nk=second, longer\n", "next.ini");
        std::rename("next.ini", "test.ini");
    }
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(String("s", "k"), "first");
}

} // namespace
