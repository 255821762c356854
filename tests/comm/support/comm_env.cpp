#include "comm_env.h"

#include "dvc_internal.h"
#include "usb_internal.h"
#include "orbis_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
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
const Bytes kOfflineFileCommand = {0xA5, 0x00, 0x06, 0x40, 0xE0, 0xE7, 0x0C, 0x01, 0x00};
const Bytes kOnlineFileCommand = {0xA5, 0x00, 0x06, 0x40, 0xE0, 0xE7, 0x0C, 0x00, 0x00};

void ResetLibrary() {
    if (G_bInitialized) {
        if (G_szPortName[0] != '\0') {
            std::string open = G_szPortName;
            DvcClosePort(open.c_str());
        }
        DvcShutdown();
    }
    G_bInitialized = false;
    G_LoggingLevel = 0;
}

TestWorld::TestWorld() {
    ResetLibrary();
    UsbForgetPrintersForTesting(); // its printers are new to the library

    char pattern[] = "/tmp/orbis-comm-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    root_ = base_ + "/root";
    cwd_ = base_ + "/cwd";
    fs::create_directories(root_);
    fs::create_directories(cwd_);
    if (const char* old = std::getenv("ORBIS_ROOT")) {
        hadRoot_ = true;
        oldRoot_ = old;
    }
    setenv("ORBIS_ROOT", root_.c_str(), 1);
    oldCwd_ = fs::current_path().string();
    fs::current_path(cwd_);
}

TestWorld::~TestWorld() {
    ResetLibrary();
    orbis::platform::ClearDeviceOverrides();
    std::error_code ignored;
    fs::current_path(oldCwd_, ignored);
    if (hadRoot_)
        setenv("ORBIS_ROOT", oldRoot_.c_str(), 1);
    else
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

std::vector<std::string> LogLines() {
    return ReadLines(Host("C:\\VanDvc32.log"));
}

std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    for (const auto& line : LogLines()) {
        // "HH:MM:SS TICKS: message"; a line without that head (the second line
        // of a message ending in "\n") is kept whole.
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

static const char kKey[] = "SOFTWARE\\VANTREL\\VANDVC";

void SetLoggingLevel(uint32_t level) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    char noClass[1] = "";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the library's key");
    DWORD value = level;
    RegSetValueExA(key, "LoggingLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

bool ReadLoggingLevel(uint32_t* level) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, value = 0, size = sizeof value;
    LONG rc = RegQueryValueExA(key, "LoggingLevel", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return false;
    *level = value;
    return true;
}

std::string RecordedDacl(const std::string& keyPath) {
    std::string header = "[" + keyPath + "]";
    bool inKey = false;
    for (const auto& line : ReadLines(orbis::platform::Root() + "/registry.reg")) {
        if (!line.empty() && line[0] == '[')
            inKey = line == header;
        else if (inKey && line.rfind(";@dacl=", 0) == 0)
            return line.substr(7);
    }
    return "";
}

Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += text[i] == ' ' ? 1 : 2)
        if (text[i] != ' ')
            bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
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

std::string HexText(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char b : bytes)
        text += {digits[b >> 4], digits[b & 15]};
    return text;
}

std::vector<Bytes> Split(const Bytes& bytes, size_t size) {
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < bytes.size(); at += size)
        pieces.emplace_back(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size));
    return pieces;
}

} // namespace commtest
