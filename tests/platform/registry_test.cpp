// Registry calls over the hive file: round trips, enumeration, the recorded
// access list, a broken hive, and two processes writing at once.
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using orbis::platformtest::TempRoot;

namespace {

constexpr char kLibraryKey[] = "SOFTWARE\\VANTREL\\VANDVC";

// Child-process mode: started by the concurrency test with these variables set.
// Writes 200 distinct values as fast as it can and exits.
const bool childWriter = [] {
    const char* prefix = std::getenv("ORBIS_TEST_REG_WRITER");
    if (!prefix) return false;
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        _exit(2);
    for (DWORD i = 0; i < 200; ++i) {
        std::string name = std::string(prefix) + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4) !=
            ERROR_SUCCESS)
            _exit(3);
    }
    RegCloseKey(key);
    _exit(0);
}();

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                              disposition),
              ERROR_SUCCESS);
    return key;
}

TEST(Registry, ValuesRoundTripThroughTheHiveFile) {
    TempRoot root;
    DWORD disposition = 0;
    HKEY key = Create(HKEY_LOCAL_MACHINE, kLibraryKey, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const DWORD level = 0x13;
    const BYTE binary[] = {0, 1, 0xA5, 0xFF};
    const char text[] = "Orbis \"LP\" 2200\\x";
    struct Case {
        const char* name;
        DWORD type;
        const BYTE* data;
        DWORD size;
    };
    const Case cases[] = {
        {"LoggingLevel", REG_DWORD, reinterpret_cast<const BYTE*>(&level), 4},
        {"Blob", REG_BINARY, binary, sizeof binary},
        {"Name", REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text},
        {"", REG_SZ, reinterpret_cast<const BYTE*>("default"), 8},
        {"Multi", REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b\0"), 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegSetValueExA(key, c.name, 0, c.type, c.data, c.size), ERROR_SUCCESS);
    RegCloseKey(key);

    // A second open (other case) sees everything, read back from the file.
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\vantrel\\vandvc", 0, KEY_READ, &again),
              ERROR_SUCCESS);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = 0, size = 0;
        ASSERT_EQ(RegQueryValueExA(again, c.name, nullptr, &type, nullptr, &size),
                  ERROR_SUCCESS); // size query
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
        BYTE small[1];
        DWORD smallSize = sizeof small;
        EXPECT_EQ(RegQueryValueExA(again, c.name, nullptr, nullptr, small, &smallSize), ERROR_MORE_DATA);
        EXPECT_EQ(smallSize, c.size);
        BYTE out[64];
        DWORD outSize = sizeof out;
        EXPECT_EQ(RegQueryValueExA(again, c.name, nullptr, &type, out, &outSize), ERROR_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), outSize),
                  std::string(reinterpret_cast<const char*>(c.data), c.size));
    }
    DWORD size = 4;
    DWORD value;
    EXPECT_EQ(
        RegQueryValueExA(again, "loggingLEVEL", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, level);
    EXPECT_EQ(RegQueryValueExA(again, "Absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(again, "BLOB"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(again, "Blob"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);

    const std::string file = root.ReadFile("registry.reg");
    EXPECT_EQ(file.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTREL\\VANDVC]"), std::string::npos);
    EXPECT_NE(file.find("\"LoggingLevel\"=dword:00000013"), std::string::npos);
    EXPECT_NE(file.find("\"Name\"=\"Orbis \\\"LP\\\" 2200\\\\x\""), std::string::npos);
}

TEST(Registry, OpenCreateEnumerateAndDelete) {
    TempRoot root;
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);

    const char* printers = "System\\CurrentControlSet\\Control\\Print\\Printers";
    for (const char* name : {"Orbis LP 2200", "Another Printer", "B"}) {
        std::string path = std::string(printers) + "\\" + name;
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, path.c_str()));
    }
    DWORD disposition = 0;
    RegCloseKey(
        Create(HKEY_LOCAL_MACHINE, "SYSTEM\\currentcontrolset\\Control\\Print\\Printers\\b", &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    HKEY list = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, printers, 0, KEY_READ, &list), ERROR_SUCCESS);
    DWORD count = 0, longest = 0;
    EXPECT_EQ(RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(longest, std::strlen("Another Printer"));

    struct Case {
        DWORD index, bufferSize;
        LONG result;
        std::string name;
    };
    const Case cases[] = {
        {0, 64, ERROR_SUCCESS, "Another Printer"}, {1, 64, ERROR_SUCCESS, "B"},
        {2, 64, ERROR_SUCCESS, "Orbis LP 2200"},   {2, 13, ERROR_MORE_DATA, ""},
        {2, 14, ERROR_SUCCESS, "Orbis LP 2200"},   {3, 64, ERROR_NO_MORE_ITEMS, ""},
    };
    for (const auto& c : cases) {
        char name[64] = "";
        DWORD size = c.bufferSize;
        EXPECT_EQ(RegEnumKeyExA(list, c.index, name, &size, nullptr, nullptr, nullptr, nullptr), c.result);
        if (c.result == ERROR_SUCCESS) {
            EXPECT_EQ(name, c.name);
            EXPECT_EQ(size, c.name.size());
        }
    }
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet"),
              ERROR_ACCESS_DENIED); // has subkeys
    EXPECT_EQ(RegDeleteKeyA(list, "b"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(list, "b"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(RegCloseKey(list), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(list), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
}

TEST(Registry, SecurityDescriptorDaclIsRecordedInOrder) {
    TempRoot root;
    HKEY key = Create(HKEY_LOCAL_MACHINE, kLibraryKey);
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    alignas(4) BYTE aclBuffer[1024];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr, admins = nullptr, system = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0,
                                         0, 0, 0, &users));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                         0, 0, 0, 0, &admins));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    for (PSID sid : {users, admins, system})
        EXPECT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, sid));
    EXPECT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    EXPECT_TRUE(SetSecurityDescriptorOwner(&sd, admins, FALSE));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_EQ(orbis::platform::KeyDaclForTesting(HKEY_LOCAL_MACHINE, "software\\vantrel\\vandvc"),
              "S-1-5-32-545:F003F,S-1-5-32-544:F003F,S-1-5-18:F003F");

    // The access list is not a value: not counted and not queryable.
    DWORD values = 9;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 0u);

    // An ACL too small for another entry refuses it and stays as it was.
    alignas(4) BYTE tinyBuffer[24];
    PACL tiny = reinterpret_cast<PACL>(tinyBuffer);
    ASSERT_TRUE(InitializeAcl(tiny, sizeof tinyBuffer, ACL_REVISION));
    EXPECT_FALSE(AddAccessAllowedAce(tiny, ACL_REVISION, KEY_ALL_ACCESS, users));
    EXPECT_EQ(tiny->AceCount, 0);
    for (PSID sid : {users, admins, system})
        EXPECT_EQ(FreeSid(sid), nullptr);
    RegCloseKey(key);
}

TEST(Registry, BrokenHiveIsMovedAsideNotOverwritten) {
    TempRoot root;
    const std::string broken = "this is not a registry\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:zz\n";
    root.WriteFile("registry.reg", broken);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "X", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(root.ReadFile("registry.reg.corrupt-1"), broken);
    key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\New");
    RegCloseKey(key);
    EXPECT_EQ(root.ReadFile("registry.reg.corrupt-1"), broken);
    EXPECT_NE(root.ReadFile("registry.reg").find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]"), std::string::npos);

    // A second broken hive gets the next free name.
    root.WriteFile("registry.reg", "REGEDIT4\n\"orphan\"=\"value\"\n");
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(root.ReadFile("registry.reg.corrupt-2"), "REGEDIT4\n\"orphan\"=\"value\"\n");
}

TEST(Registry, HandWrittenHiveIsRead) {
    TempRoot root;
    root.WriteFile("registry.reg", "REGEDIT4\r\n\r\n; comment\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
                                   "\"Port\"=\"USB001\"\r\n\"Bits\"=hex:01,02,\\\r\n  03\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "a", 0, KEY_READ, &key), ERROR_SUCCESS); // parent implied
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\B", 0, KEY_READ, &key), ERROR_SUCCESS);
    char port[16];
    DWORD size = sizeof port;
    EXPECT_EQ(RegQueryValueExA(key, "Port", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(port, "USB001");
    BYTE bits[8];
    size = sizeof bits;
    EXPECT_EQ(RegQueryValueExA(key, "Bits", nullptr, nullptr, bits, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(bits[2], 3);
    RegCloseKey(key);
}

TEST(Registry, TwoWriterProcessesLoseNothing) {
    TempRoot root;
    pid_t children[2];
    const char* prefixes[2] = {"first", "second"};
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            setenv("ORBIS_TEST_REG_WRITER", prefixes[i], 1);
            execl("/proc/self/exe", "registry_writer", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(values, 400u);
    for (const char* prefix : prefixes) {
        DWORD value = 0, size = 4;
        std::string name = std::string(prefix) + "199";
        EXPECT_EQ(
            RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
        EXPECT_EQ(value, 199u);
    }
    RegCloseKey(key);
    for (const auto& entry : std::filesystem::directory_iterator(root.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos); // no leftovers
}

} // namespace
