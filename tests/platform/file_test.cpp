// Files through CreateFileA, path mapping, temporary files, WinFopen and "copy /b".
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using orbis::platformtest::QueueDevice;
using orbis::platformtest::TempRoot;

namespace {

HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteText(HANDLE h, const std::string& text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
}

TEST(Paths, WindowsNamesMapUnderTheRoot) {
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

// A write never goes through a link planted at the name (its target stays as
// it was, a dangling one creates nothing); reading through a link still works.
TEST(Files, WritesNeverFollowALink) {
    namespace fs = std::filesystem;
    TempRoot root;
    const std::string c = root.Path() + "/c/";
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    auto opens = [](const char* name, DWORD access, DWORD disposition) {
        HANDLE h = Open(name, access, 0, disposition);
        bool ok = h != INVALID_HANDLE_VALUE && (!(access & W) || WriteText(h, "X"));
        CloseHandle(h);
        return ok;
    };
    auto fopens = [](const char* mode) {
        FILE* f = WinFopen("C:\\link", mode);
        bool ok = f && std::fputs("X", f) >= 0;
        if (f) std::fclose(f);
        return ok;
    };
    const struct Case {
        const char* name;
        std::function<bool()> write;
        bool succeeds;
    } cases[] = {
        {"CREATE_ALWAYS", [&] { return opens("C:\\link", W, CREATE_ALWAYS); }, false},
        {"CREATE_ALWAYS, read only", [&] { return opens("C:\\link", R, CREATE_ALWAYS); }, false},
        {"OPEN_EXISTING for writing", [&] { return opens("C:\\link", W, OPEN_EXISTING); }, false},
        {"OPEN_ALWAYS for writing", [&] { return opens("C:\\link", R | W, OPEN_ALWAYS); }, false},
        {"TRUNCATE_EXISTING", [&] { return opens("C:\\link", W, TRUNCATE_EXISTING); }, false},
        {"fopen a", [&] { return fopens("a"); }, false},
        {"fopen w+", [&] { return fopens("w+"); }, false},
        {"copy /b onto it", [] { return WinSystem("copy /b C:\\src C:\\link") == 0; }, false},
        {"reading", [&] { return opens("C:\\link", R, OPEN_EXISTING); }, true},
    };
    root.WriteFile("c/src", "src");
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        for (bool dangling : {false, true}) {
            root.WriteFile("precious", "precious");
            if (dangling) fs::remove(root.Path() + "/precious");
            fs::create_symlink(root.Path() + "/precious", c + "link");
            SetLastError(0);
            EXPECT_EQ(test.write(), test.succeeds && !dangling);
            EXPECT_EQ(root.ReadFile("precious"), dangling ? "" : "precious");
            EXPECT_EQ(fs::exists(root.Path() + "/precious"), !dangling);
            EXPECT_TRUE(fs::is_symlink(c + "link"));
            fs::remove(c + "link");
        }
    }
}

// MoveFileExA replaces an existing name only when asked, replaces a link
// rather than writing through it, and leaves a file this process has open.
TEST(Files, MoveFileExReplacesOnlyWhenAsked) {
    namespace fs = std::filesystem;
    TempRoot root;
    const struct Case {
        const char* target; // "" none, "old" a file, "link" a link to "precious"
        DWORD flags;
        bool moves;
        DWORD error;
    } cases[] = {
        {"", 0, true, 0},
        {"old", 0, false, ERROR_ALREADY_EXISTS},
        {"old", MOVEFILE_REPLACE_EXISTING, true, 0},
        {"link", MOVEFILE_REPLACE_EXISTING, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " " + std::to_string(c.flags));
        root.WriteFile("c/from", "new");
        root.WriteFile("precious", "precious");
        fs::remove(root.Path() + "/c/to");
        if (c.target == std::string("old")) root.WriteFile("c/to", "old");
        if (c.target == std::string("link"))
            fs::create_symlink(root.Path() + "/precious", root.Path() + "/c/to");
        SetLastError(0);
        EXPECT_EQ(MoveFileExA("C:\\from", "C:\\to", c.flags) != FALSE, c.moves);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(root.ReadFile("c/to"), c.moves ? "new" : "old");
        EXPECT_EQ(fs::exists(root.Path() + "/c/from"), !c.moves);
        EXPECT_EQ(root.ReadFile("precious"), "precious");
    }
    root.WriteFile("c/from", "new");
    HANDLE h = Open("C:\\from", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(MoveFileExA("C:\\from", "C:\\to", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(h);
}

TEST(Files, CreationDispositions) {
    TempRoot root;
    const DWORD W = GENERIC_WRITE;
    const struct Case {
        bool exists;
        DWORD disposition, access;
        bool opens;
        DWORD error;
        std::string contentAfter; // after writing "AB" when opened
    } cases[] = {
        {false, CREATE_NEW, W, true, 0, "AB"},
        {true, CREATE_NEW, W, false, ERROR_FILE_EXISTS, "old-data"},
        {false, CREATE_ALWAYS, W, true, 0, "AB"},
        {true, CREATE_ALWAYS, W, true, ERROR_ALREADY_EXISTS, "AB"},
        {false, OPEN_EXISTING, W, false, ERROR_FILE_NOT_FOUND, ""},
        {true, OPEN_EXISTING, W, true, 0, "ABd-data"},
        {false, OPEN_ALWAYS, W, true, 0, "AB"},
        {true, OPEN_ALWAYS, GENERIC_READ | W, true, ERROR_ALREADY_EXISTS, "ABd-data"},
        {false, TRUNCATE_EXISTING, W, false, ERROR_FILE_NOT_FOUND, ""},
        {true, TRUNCATE_EXISTING, W, true, 0, "AB"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string file = "f" + std::to_string(n++) + ".bin";
        SCOPED_TRACE(file);
        if (c.exists) root.WriteFile("c/" + file, "old-data");
        SetLastError(12345);
        HANDLE h = Open(("C:\\" + file).c_str(), c.access, 0, c.disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(WriteText(h, "AB") && CloseHandle(h), c.opens);
        EXPECT_EQ(root.ReadFile("c/" + file), c.contentAfter);
    }
    EXPECT_EQ(Open("C:\\missing\\dir\\x.txt", W, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open("C:\\", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE); // a directory
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    // Reads and writes need the access they were opened with.
    const std::string payload(10000, '\x5A');
    HANDLE h = Open("C:\\data.bin", W, 0, CREATE_ALWAYS);
    EXPECT_TRUE(WriteText(h, payload));
    char chunk[7];
    DWORD got = 5;
    EXPECT_FALSE(ReadFile(h, chunk, 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(got, 0u);
    CloseHandle(h);
    h = Open("c:/data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    std::string back;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got)
        back.append(chunk, got);
    EXPECT_EQ(back, payload);
    EXPECT_FALSE(WriteText(h, "x"));
    CloseHandle(h);
}

TEST(Files, ShareModesBetweenOpens) {
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
    // An open file cannot be deleted; closing it frees it.
    HANDLE h = Open(".\\shared.txt", W, 0, OPEN_EXISTING);
    EXPECT_FALSE(DeleteFileA(".\\shared.txt"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(_unlink("shared.txt"), -1);
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileA(".\\shared.txt"));
    EXPECT_FALSE(DeleteFileA(".\\shared.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(_unlink("shared.txt"), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(Files, FullDiskGivesDiskFullWithCountWritten) {
    TempRoot root;
    // A file size limit makes the disk "full" after 1000 bytes; run in a child so the limit stays there.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        HANDLE h = Open("C:\\full.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
        std::string data(1500, 'q');
        DWORD written = 0;
        BOOL ok = WriteFile(h, data.data(), 1500, &written, nullptr);
        DWORD error = GetLastError();
        _exit(!ok && written == 1000 && (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) ? 0
                                                                                                      : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(root.ReadFile("c/full.bin"), std::string(1000, 'q'));
}

TEST(Files, TempFileNamesAreUniqueAndCreated) {
    TempRoot root;
    std::set<std::string> names;
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir); // creates the directory
    for (int i = 0; i < 20; ++i) {
        char name[MAX_PATH];
        UINT unique = GetTempFileNameA(dir, "DvcCmd", 0, name);
        ASSERT_NE(unique, 0u);
        char expected[32];
        std::snprintf(expected, sizeof expected, "C:\\Temp\\Dvc%X.TMP", unique); // hex digits, not padded
        EXPECT_STREQ(name, expected);
        EXPECT_EQ(root.ReadFile("c/Temp/" + std::string(name + 8)), ""); // exists, empty
        EXPECT_TRUE(names.insert(name).second);
    }
    char name[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA("C:\\Temp", "ab", 0x1234, name), 0x1234u); // given number: name only
    EXPECT_STREQ(name, "C:\\Temp\\ab1234.TMP");
    EXPECT_EQ(GetTempFileNameA("C:\\no\\such", "x", 0, name), 0u);
}

TEST(Files, FopenAndCopyBinaryToFileAndDevice) {
    TempRoot root;
    FILE* f = WinFopen("C:\\offline.dat", "wb");
    ASSERT_NE(f, nullptr);
    const std::string packet("\xA5\x00\x06\x40\xE0\xE7\x0C\x00\x00", 9);
    fwrite(packet.data(), 1, packet.size(), f);
    fclose(f);
    EXPECT_EQ(WinFopen("C:\\nodir\\x.log", "a"), nullptr); // creates no directories

    auto device = std::make_shared<QueueDevice>();
    orbis::platform::DeviceOverride port;
    port.name = "LPT1";
    port.open = [device](const std::string&, DWORD) { return device; };
    orbis::platform::RegisterDeviceOverride(port);
    const std::pair<const char*, int> cases[] = {
        {"copy /b C:\\offline.dat C:\\copy.dat", 0},
        {"COPY /B C:\\offline.dat   LPT1:", 0},
        {"copy /b c:\\offline.dat lpt1", 0},
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
    EXPECT_EQ(device->Written(), packet + packet);
    EXPECT_EQ(root.ReadFile("c/copy3.dat"), "");
    orbis::platform::ClearDeviceOverrides();
    EXPECT_EQ(Open("LPT1:", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}

} // namespace
