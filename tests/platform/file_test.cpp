// Files through CreateFileA, path mapping, temporary files, WinFopen and "copy /b".
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using orbis::platformtest::TempRoot;

namespace {

HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteText(HANDLE h, const std::string& text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
}

TEST(Paths, WindowsNamesMapUnderTheRootAndTemporaryFilesAreUnique) {
    TempRoot root;
    const std::string r = root.Path();
    EXPECT_EQ(orbis::platform::Root(), r);
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\VanDvc32.log", r + "/c/VanDvc32.log"},
        {"c:/out/a.npa", r + "/c/out/a.npa"},
        {"D:\\x\\y", r + "/d/x/y"},
        {".\\quillon.ini", "./quillon.ini"},
        {"out\\settings.npa", "out/settings.npa"},
        {"out/settings.npa", "out/settings.npa"},
        {"/tmp/x", "/tmp/x"},
    };
    for (const auto& [windows, host] : cases)
        EXPECT_EQ(orbis::platform::MapPath(windows), host) << windows;
    char temp[MAX_PATH];
    EXPECT_EQ(GetTempPathA(sizeof temp, temp), 8u);
    EXPECT_STREQ(temp, "C:\\Temp\\");
    EXPECT_EQ(GetTempPathA(4, temp), 9u); // too small: the size needed
    EXPECT_EQ(access((r + "/c/Temp").c_str(), F_OK), 0);
    // Temporary files: created empty, named by the prefix's first three letters and the number in hex.
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        char name[MAX_PATH];
        UINT unique = GetTempFileNameA("C:\\Temp\\", "DvcCmd", 0, name);
        ASSERT_NE(unique, 0u);
        char expected[32];
        std::snprintf(expected, sizeof expected, "C:\\Temp\\Dvc%X.TMP", unique); // hex digits, not padded
        EXPECT_STREQ(name, expected);
        EXPECT_EQ(root.ReadFile("c/Temp/" + std::string(name + 8)), ""); // exists, empty
        EXPECT_TRUE(names.insert(name).second);
    }
    char name[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA("C:\\no\\such", "x", 0, name), 0u);

    unsetenv("ORBIS_ROOT"); // no root given: the state directory
    setenv("XDG_STATE_HOME", (r + "/state").c_str(), 1);
    EXPECT_EQ(orbis::platform::Root(), r + "/state/orbis-lp2200");
    EXPECT_EQ(access((r + "/state/orbis-lp2200").c_str(), F_OK), 0);
    unsetenv("XDG_STATE_HOME");
}

// The root is this user's alone: created 0700, tightened when merely readable, refused (no file
// under it is touched) when another user owns it or may write it; what is created in it is 0600.
TEST(Paths, RootIsPrivateOrRefused) {
    namespace fs = std::filesystem;
    TempRoot base;
    const std::string r = base.Path();
    const struct Case {
        const char* name;
        mode_t mode; // of the directory made beforehand; 0: not made, the program makes it
        uid_t owner; // 0: this user
        bool accepted;
    } cases[] = {
        {"made by the program", 0, 0, true},    {"readable by others", 0755, 0, true},
        {"writable by others", 0777, 0, false}, {"writable by the group", 0770, 0, false},
        {"another user's", 0700, 65534, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.owner && geteuid() != 0) continue; // only root can give a directory to another user
        const std::string dir = r + "/" + std::to_string(&c - cases);
        if (c.mode) {
            ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
            ASSERT_EQ(chmod(dir.c_str(), c.mode), 0);
            ASSERT_EQ(chown(dir.c_str(), c.owner ? c.owner : geteuid(), c.owner ? c.owner : getegid()), 0);
        }
        setenv("ORBIS_ROOT", dir.c_str(), 1);
        EXPECT_EQ(orbis::platform::Root(), c.accepted ? dir : "");
        HANDLE h = Open("C:\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.accepted);
        CloseHandle(h);
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr) == ERROR_SUCCESS,
                  c.accepted);
        RegCloseKey(key);
        EXPECT_TRUE(c.accepted || fs::is_empty(dir));
        if (!c.accepted) continue;
        EXPECT_EQ(fs::status(dir).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(dir + "/c").permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(dir + "/c/x.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
}

// What a call returns and leaves at C:\name.
using Call = std::function<std::pair<bool, DWORD>()>;

Call Create(DWORD access, DWORD disposition, const char* name = "C:\\name") {
    return [=] {
        HANDLE h = Open(name, access, 0, disposition);
        const DWORD error = GetLastError();
        bool ok = h != INVALID_HANDLE_VALUE && (!(access & GENERIC_WRITE) || WriteText(h, "AB"));
        CloseHandle(h);
        return std::pair{ok, error};
    };
}

Call Fopen(const char* mode) {
    return [=] {
        FILE* f = WinFopen("C:\\name", mode);
        const DWORD error = GetLastError();
        bool ok = f && std::fputs("AB", f) >= 0;
        if (f) std::fclose(f);
        return std::pair{ok, error};
    };
}

Call Move(DWORD flags) {
    return [=] {
        SetLastError(0); // left as it is on success
        return std::pair{MoveFileExA("C:\\from", "C:\\name", flags) != FALSE, GetLastError()};
    };
}

// Each call on a name that is absent, a file holding "old-data", a link planted to "precious", or a
// dangling link: a write never goes through a link (its target stays as it was, a dangling one
// creates nothing), reading through one still works, a move replaces the link itself.
TEST(Files, CallsOnANameKeepWindowsRulesAndNeverWriteThroughALink) {
    namespace fs = std::filesystem;
    TempRoot root;
    const std::string r = root.Path();
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, kAny = ~0u;
    enum Name { Absent, File, Link, Links }; // Links: a link, then a dangling one that fails all
    const Call copy = [] { return std::pair{WinSystem("copy /b C:\\src C:\\name") == 0, GetLastError()}; };
    const struct Row {
        Name name;
        Call call;
        bool ok;
        DWORD error;       // kAny: not told
        std::string after; // read from C:\name
    } rows[] = {
        {Absent, Create(W, CREATE_NEW), true, 0, "AB"},
        {File, Create(W, CREATE_NEW), false, ERROR_FILE_EXISTS, "old-data"},
        {Absent, Create(W, CREATE_ALWAYS), true, 0, "AB"},
        {File, Create(W, CREATE_ALWAYS), true, ERROR_ALREADY_EXISTS, "AB"},
        {Absent, Create(W, OPEN_EXISTING), false, ERROR_FILE_NOT_FOUND, ""},
        {File, Create(W, OPEN_EXISTING), true, 0, "ABd-data"},
        {Absent, Create(W, OPEN_ALWAYS), true, 0, "AB"},
        {File, Create(R | W, OPEN_ALWAYS), true, ERROR_ALREADY_EXISTS, "ABd-data"},
        {Absent, Create(W, TRUNCATE_EXISTING), false, ERROR_FILE_NOT_FOUND, ""},
        {File, Create(W, TRUNCATE_EXISTING), true, 0, "AB"},
        {Absent, Create(W, CREATE_ALWAYS, "C:\\missing\\dir\\x"), false, ERROR_PATH_NOT_FOUND, ""},
        {Absent, Create(R, OPEN_EXISTING, "C:\\"), false, ERROR_ACCESS_DENIED, ""}, // a directory
        {Absent, Move(0), true, 0, "new"},
        {File, Move(0), false, ERROR_ALREADY_EXISTS, "old-data"},
        {File, Move(MOVEFILE_REPLACE_EXISTING), true, 0, "new"},
        {Link, Move(MOVEFILE_REPLACE_EXISTING), true, 0, "new"},
        {Links, Create(W, CREATE_ALWAYS), false, kAny, "precious"},
        {Links, Create(R, CREATE_ALWAYS), false, kAny, "precious"},
        {Links, Create(W, OPEN_EXISTING), false, kAny, "precious"},
        {Links, Create(R | W, OPEN_ALWAYS), false, kAny, "precious"},
        {Links, Create(W, TRUNCATE_EXISTING), false, kAny, "precious"},
        {Links, Fopen("a"), false, kAny, "precious"},
        {Links, Fopen("w+"), false, kAny, "precious"},
        {Links, copy, false, kAny, "precious"},
        {Links, Create(R, OPEN_EXISTING), true, 0, "precious"},
    };
    root.WriteFile("c/src", "src");
    for (const auto& row : rows)
        for (int pass = 0; pass < (row.name == Links ? 2 : 1); ++pass) {
            const bool dangling = pass == 1;
            SCOPED_TRACE(testing::Message() << &row - rows << (dangling ? " dangling" : ""));
            fs::remove(r + "/c/name");
            fs::remove(r + "/precious");
            root.WriteFile("c/from", "new");
            if (row.name == File) root.WriteFile("c/name", "old-data");
            if (row.name >= Link && !dangling) root.WriteFile("precious", "precious");
            if (row.name >= Link) fs::create_symlink(r + "/precious", r + "/c/name");
            SetLastError(12345);
            const auto [ok, error] = row.call();
            EXPECT_EQ(ok, row.ok && !dangling);
            EXPECT_TRUE(row.error == kAny || dangling || error == row.error) << error;
            EXPECT_EQ(root.ReadFile("c/name"), dangling ? "" : row.after);
            EXPECT_EQ(fs::exists(r + "/precious"), row.name >= Link && !dangling);
            EXPECT_EQ(root.ReadFile("precious"), row.name >= Link && !dangling ? "precious" : "");
        }
}

TEST(Files, ShareModesAndAccessBetweenOpens) {
    TempRoot root;
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ,
                SRW = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    } cases[] = {
        {R | W, 0, R, SRW, false}, {R, SR, R, SR, true},
        {R, SR, W, SRW, false},    {W, SRW, R, SR, false}, // second must share write
        {W, SRW, R, SRW, true},
    };
    for (const auto& c : cases) {
        HANDLE first = Open("shared.txt", c.firstAccess, c.firstShare, OPEN_ALWAYS);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(0);
        HANDLE second = Open("shared.txt", c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        EXPECT_EQ(GetLastError(), c.secondOpens ? 0u : DWORD(ERROR_SHARING_VIOLATION));
        CloseHandle(second);
        CloseHandle(first);
    }
    // Reads and writes need the access they were opened with.
    const std::string payload(10000, '\x5A');
    HANDLE h = Open(".\\shared.txt", W, 0, OPEN_EXISTING);
    EXPECT_TRUE(WriteText(h, payload));
    char chunk[7];
    DWORD got = 5;
    EXPECT_FALSE(ReadFile(h, chunk, 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(got, 0u);
    // An open file cannot be moved nor deleted; closing it frees it.
    EXPECT_FALSE(MoveFileExA(".\\shared.txt", ".\\moved.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteFileA(".\\shared.txt"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(_unlink("shared.txt"), -1);
    CloseHandle(h);
    h = Open("shared.txt", R, SR, OPEN_EXISTING);
    std::string back;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got)
        back.append(chunk, got);
    EXPECT_EQ(back, payload);
    EXPECT_FALSE(WriteText(h, "x"));
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileA(".\\shared.txt"));
    EXPECT_FALSE(DeleteFileA(".\\shared.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(_unlink("shared.txt"), -1);
    EXPECT_EQ(errno, ENOENT);
}

// "copy /b" to a file or a port (the file port's tests copy to a printer); nothing else runs.
TEST(Files, FopenAndCopyBinary) {
    TempRoot root;
    FILE* f = WinFopen("C:\\offline.dat", "wb");
    ASSERT_NE(f, nullptr);
    const std::string packet("\xA5\x00\x06\x40\xE0\xE7\x0C\x00\x00", 9);
    fwrite(packet.data(), 1, packet.size(), f);
    fclose(f);
    EXPECT_EQ(WinFopen("C:\\nodir\\x.log", "a"), nullptr); // creates no directories

    const std::pair<const char*, int> cases[] = {
        {"copy /b C:\\offline.dat C:\\copy.dat", 0},
        {"copy /b C:\\missing.dat C:\\copy2.dat", 1},
        {"copy /b C:\\offline.dat LPT2:", 1}, // no such port
        {"copy C:\\offline.dat C:\\copy3.dat", -1},
        {"del C:\\offline.dat", -1},
        {"copy /b C:\\offline.dat C:\\a.dat & rm -rf /", -1},
    };
    for (const auto& [command, result] : cases) {
        errno = 0;
        EXPECT_EQ(WinSystem(command), result) << command;
        EXPECT_TRUE(result != -1 || errno != 0) << command;
    }
    EXPECT_EQ(root.ReadFile("c/copy.dat"), packet);
    EXPECT_EQ(root.ReadFile("c/copy3.dat"), "");
}

} // namespace
