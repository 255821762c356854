// The profile calls behave as the Windows ones do: names without regard to case,
// trimming, quotes, truncation, NUL-separated lists, integer parsing, and a cached
// copy that notices a rewritten or deleted file.
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/profile_testXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        path_ = dir_ + "/test.ini";
    }
    void TearDown() override {
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    void Write(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
    }
    std::string String(const char* section, const char* key, const char* fallback = "DEF", DWORD size = 256,
                       DWORD* count = nullptr) {
        std::string buffer(size + 8, '#');
        DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, path_.c_str());
        if (count) *count = n;
        return buffer.substr(0, n);
    }
    std::string dir_, path_;
};

const char kBasic[] = "; comment line\n"
                      "[ section1 ]\n"
                      "  key1 =  value one  \n"
                      "Quoted=\"quoted value\"\n"
                      "Single='single'\n"
                      "Mismatched=\"half'\n"
                      "Empty=\n"
                      "lonely line\n"
                      "=val\n"
                      "Dup=first\n"
                      "dup=second\n"
                      "[Other]\n"
                      "x=1\n";

TEST_F(ProfileTest, StringLookups) {
    Write(kBasic);
    struct Case {
        const char* section;
        const char* key;
        const char* fallback;
        std::string expected;
    } cases[] = {
        {"section1", "key1", "DEF", "value one"},      // trimmed around key and value
        {"SECTION1", "KEY1", "DEF", "value one"},      // names without regard to case
        {"  section1 ", "key1", "DEF", "value one"},   // section name trimmed
        {"section1", "Quoted", "DEF", "quoted value"}, // matching double quotes removed
        {"section1", "single", "DEF", "single"},       // matching single quotes removed
        {"section1", "Mismatched", "DEF", "\"half'"},  // unmatched quotes kept
        {"section1", "Empty", "DEF", ""},              // present but empty is not the default
        {"section1", "missing", "DEF", "DEF"},
        {"nosection", "key1", "DEF", "DEF"},
        {"section1", "missing", nullptr, ""}, // NULL default reads as empty
        {"", "key1", "DEF", "DEF"},
        {"section1", "", "DEF", "DEF"},
        {"section1", "dup", "DEF", "first"}, // the first of two equal keys wins
        {"Other", "X", "DEF", "1"},
    };
    for (const Case& c : cases) {
        DWORD n = 0;
        std::string got = String(c.section, c.key, c.fallback, 256, &n);
        EXPECT_EQ(got, c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(n, c.expected.size()) << c.section << "/" << c.key;
    }
    // Missing or empty file name.
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("section1", "key1", "D", buffer, 16, (dir_ + "/none.ini").c_str()),
              1u);
    EXPECT_STREQ(buffer, "D");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "key1", "D", buffer, 16, ""), 1u);
    EXPECT_STREQ(buffer, "D");
}

TEST_F(ProfileTest, StringTruncation) {
    Write("[s]\nk=val1\n");
    struct Case {
        DWORD size;
        DWORD expectedCount;
        std::string expected;
    } cases[] = {{5, 4, "val1"}, {4, 3, "val"}, {2, 1, "v"}, {1, 0, ""}};
    for (const Case& c : cases) {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buffer, c.size, path_.c_str()), c.expectedCount);
        EXPECT_EQ(std::string(buffer), c.expected) << c.size;
    }
    char untouched[4] = {'#', '#', '#', '\0'};
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", untouched, 0, path_.c_str()), 0u);
    EXPECT_STREQ(untouched, "###");
}

TEST_F(ProfileTest, NameLists) {
    Write("[First]\na=1\nno equals here\nB = 2\n[Second]\n");
    struct Case {
        const char* section; // nullptr: the section names
        DWORD size;
        DWORD expectedCount;
        std::string expected; // including the final double NUL
    } cases[] = {
        {nullptr, 64, 13, std::string("First\0Second\0\0", 14)},
        {nullptr, 10, 8, std::string("First\0Se\0\0", 10)}, // cut list keeps its double NUL
        {"first", 64, 4, std::string("a\0B\0\0", 5)},       // a line without "=" is no key
        {"first", 4, 2, std::string("a\0\0\0", 4)},
    };
    for (const Case& c : cases) {
        std::string buffer(c.size, '#');
        DWORD n = GetPrivateProfileStringA(c.section, nullptr, "", buffer.data(), c.size, path_.c_str());
        EXPECT_EQ(n, c.expectedCount) << (c.section ? c.section : "(sections)") << " size " << c.size;
        EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected)
            << (c.section ? c.section : "(sections)") << " size " << c.size;
    }
}

TEST_F(ProfileTest, Sections) {
    const std::string full("name1=val1\0name2=\0name3\0name4=val4\0", 35);
    Write("[ex]\r\nname1=val1\r\n; not returned\r\nname2=\r\n  name3  "
          "\r\nname4=val4\r\n[empty]\r\n[next]\r\nq=\"kept\"\r\n");
    struct Case {
        const char* section;
        DWORD size;
        DWORD expectedCount;
        std::string expected;
    } cases[] = {
        {"ex", 100, 35, full + '\0'},
        {"EX", 24, 22, std::string("name1=val1\0name2=\0name\0\0", 24)}, // last line cut
        {"empty", 100, 0, ""},
        {"absent", 100, 0, ""},
        {"next", 100, 9, std::string("q=\"kept\"\0\0", 10)}, // quotes kept here
    };
    for (const Case& c : cases) {
        std::string buffer(c.size, '#');
        EXPECT_EQ(GetPrivateProfileSectionA(c.section, buffer.data(), c.size, path_.c_str()), c.expectedCount)
            << c.section;
        EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected) << c.section;
    }
}

TEST_F(ProfileTest, LineEndsReadTheSame) {
    const char* texts[] = {"[s]\ra=1\rb=two\r", "[s]\na=1\nb=two\n", "[s]\r\na=1\r\nb=two\r\n",
                           "[s]\r\na=1\nb=two"};
    for (const char* text : texts) {
        Write(text);
        EXPECT_EQ(String("s", "a"), "1") << text;
        EXPECT_EQ(String("s", "b"), "two") << text;
        char buffer[32];
        EXPECT_EQ(GetPrivateProfileSectionA("s", buffer, 32, path_.c_str()), 10u) << text;
    }
}

TEST_F(ProfileTest, Integers) {
    Write(
        "[n]\nplus=+1\nmixed=42A\nletter=B\nwrap=4294967297\nneg=-5\nempty=\nspaced=  17  \nquoted=\"9\"\n");
    struct Case {
        const char* key;
        INT fallback;
        UINT expected;
    } cases[] = {
        {"plus", 7, 1},    {"mixed", 7, 42},        {"letter", 7, 0}, // not the default
        {"wrap", 7, 1},    {"neg", 7, 0xFFFFFFFBu}, {"empty", 7, 7},  {"missing", -3, 0xFFFFFFFDu},
        {"spaced", 7, 17}, {"quoted", 7, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetPrivateProfileIntA("n", c.key, c.fallback, path_.c_str()), c.expected) << c.key;
}

TEST_F(ProfileTest, CachedCopyNoticesRewriteAndDeletion) {
    Write("[s]\nk=old\n");
    EXPECT_EQ(String("s", "k"), "old");
    Write("[s]\nk=new\n"); // same size, rewritten at once
    EXPECT_EQ(String("s", "k"), "new");
    Write("[s]\nk=longer value\n");
    EXPECT_EQ(String("s", "k"), "longer value");
    std::remove(path_.c_str());
    EXPECT_EQ(String("s", "k"), "DEF");
    Write("[s]\nk=back\n");
    EXPECT_EQ(String("s", "k"), "back");
}

TEST_F(ProfileTest, ConcurrentReadersWhileFileIsReplaced) {
    Write("[s]\nk=first\n");
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            while (!stop) {
                char buffer[32];
                GetPrivateProfileStringA("s", "k", "", buffer, sizeof buffer, path_.c_str());
                std::string value = buffer;
                if (value != "first" && value != "second, longer") ++bad;
            }
        });
    for (int i = 0; i < 200; ++i) {
        std::string next = dir_ + "/next.ini";
        std::ofstream(next, std::ios::binary) << (i % 2 ? "[s]\nk=first\n" : "[s]\nk=second, longer\n");
        std::rename(next.c_str(), path_.c_str()); // replaced whole, as an installer would
    }
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(String("s", "k"), "first");
}

TEST_F(ProfileTest, RelativeNameReadsCurrentDirectory) {
    Write("[s]\nk=here\n");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    char buffer[16];
    DWORD n = GetPrivateProfileStringA("s", "k", "", buffer, 16, ".\\test.ini");
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(n, 4u);
    EXPECT_STREQ(buffer, "here");
}

} // namespace
