#include "comm_env.h"

#include "dvc_internal.h"
#include "usb_internal.h"
#include "orbis_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace commtest {

const Bytes kStart = {0xA5, 0x00, 0x10, 0x80, 0xA4, 0x5B, 0xA4, 0x5B, 0x10, 0xEF,
                      0xA4, 0x5B, 0x11, 0xEE, 0x00, 0xFF, 0x13, 0xEC, 0x2E};
const Bytes kRegister = {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x03, 0x40};

namespace {

// Closes the open port and shuts the library down; the next call initialises it again.
void ResetLibrary() {
    if (G_bInitialized) {
        if (G_szPortName[0] != '\0') DvcClosePort(std::string(G_szPortName).c_str());
        DvcShutdown();
    }
    G_bInitialized = false;
    G_LoggingLevel = 0;
}

const char kLevelKey[] = "SOFTWARE\\VANTREL\\VANDVC";

} // namespace

TestWorld::TestWorld() {
    ResetLibrary();
    UsbForgetPrintersForTesting(); // its printers are new to the library
    char pattern[] = "/tmp/orbis-comm-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    fs::create_directories(base_ + "/root");
    fs::create_directories(base_ + "/cwd");
    setenv("ORBIS_ROOT", (base_ + "/root").c_str(), 1);
    oldCwd_ = fs::current_path().string();
    fs::current_path(base_ + "/cwd");
}

TestWorld::~TestWorld() {
    ResetLibrary();
    orbis::platform::ClearDeviceOverrides();
    std::error_code ignored;
    fs::current_path(oldCwd_, ignored);
    unsetenv("ORBIS_ROOT");
    fs::remove_all(base_, ignored);
}

std::string Host(const std::string& windowsPath) {
    return orbis::platform::MapPath(windowsPath);
}

Bytes ReadBytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& hostPath, const Bytes& bytes) {
    if (auto dir = fs::path(hostPath).parent_path(); !dir.empty()) fs::create_directories(dir);
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ReadLines(const std::string& hostPath) {
    std::vector<std::string> lines;
    std::ifstream in(hostPath);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    for (const auto& line : ReadLines(Host("C:\\VanDvc32.log"))) {
        // A line without the head (the second line of a message ending in "\n") is kept whole.
        size_t head = line.find(": ", 9);
        messages.push_back(
            line.size() > 9 && line[8] == ' ' && head != std::string::npos ? line.substr(head + 2) : line);
    }
    return messages;
}

bool Logged(const std::string& message) {
    auto messages = LogMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

bool ReadThreadRuns() {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool runs = G_hReadThread != nullptr;
    ReleaseMutex(G_hTransactionInfo);
    return runs;
}

bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

void SetMachineValue(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    char noClass[1] = "";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &handle, &disposition) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + key);
    RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
}

void SetLoggingLevel(uint32_t level) {
    DWORD value = level;
    SetMachineValue(kLevelKey, "LoggingLevel", REG_DWORD, &value, sizeof value);
}

bool ReadLoggingLevel(uint32_t* level) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLevelKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, value = 0, size = sizeof value;
    LONG rc = RegQueryValueExA(key, "LoggingLevel", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return false;
    *level = value;
    return true;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Packet(uint8_t flags, uint8_t command, const Bytes& data) {
    size_t length = data.size() + 2;
    return Bytes{0xA5, uint8_t(length >> 8), uint8_t(length), flags, command} + data;
}

Bytes Command(size_t size, uint8_t flags) {
    Bytes command = {0xA5, uint8_t((size - 3) >> 8), uint8_t(size - 3), flags, 0xE0};
    command.resize(size);
    for (size_t i = 5; i < size; ++i)
        command[i] = uint8_t(i * 7);
    return command;
}

Bytes Filler(size_t count, unsigned seed) {
    Bytes data(count);
    for (size_t i = 0; i < count; ++i) {
        uint8_t b = uint8_t((i * 13 + seed * 7) % 251);
        data[i] = b == 0xA5 ? 0x5A : b;
    }
    return data;
}

std::vector<Bytes> Split(const Bytes& bytes, size_t size) {
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < bytes.size(); at += size)
        pieces.emplace_back(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size));
    return pieces;
}

} // namespace commtest
