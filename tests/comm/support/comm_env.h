// Shared helpers for the library's tests: a fresh world per test, files, the
// log, the registry, and NPA packet building.
#pragma once

#include "win32.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace commtest {

using Bytes = std::vector<unsigned char>;

// One test's own ORBIS_ROOT and current directory; the library closed and uninitialised
// on entry and exit, knowing none of its USB printers yet.
class TestWorld {
  public:
    TestWorld();
    ~TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

  private:
    std::string base_, oldCwd_;
};

std::string Host(const std::string& windowsPath); // host path under the current root
Bytes ReadBytes(const std::string& hostPath);
void WriteBytes(const std::string& hostPath, const Bytes& bytes);
std::vector<std::string> ReadLines(const std::string& hostPath);

// Each line of "C:\VanDvc32.log" without its "HH:MM:SS TICKS: " head.
std::vector<std::string> LogMessages();
bool Logged(const std::string& message);

// Whether the read thread runs; a generous poll for a condition that must come true.
bool ReadThreadRuns();
bool Eventually(const std::function<bool()>& condition);

// A value under HKEY_LOCAL_MACHINE, its key created as needed.
void SetMachineValue(const std::string& key, const char* name, DWORD type, const void* data, DWORD size);
// "LoggingLevel" under HKEY_LOCAL_MACHINE\SOFTWARE\VANTREL\VANDVC.
void SetLoggingLevel(uint32_t level);
bool ReadLoggingLevel(uint32_t* level);

Bytes operator+(Bytes a, const Bytes& b);
Bytes Packet(uint8_t flags, uint8_t command, const Bytes& data = {}); // A5, length, flags, command, data
std::vector<Bytes> Split(const Bytes& bytes, size_t size);            // pieces of `size`, the last shorter
// `size` bytes: A5, the length field, `flags`, E0, filler (a shorter size cuts that head).
Bytes Command(size_t size, uint8_t flags);
// Packet data of `count` bytes without 0xA5 (which would read as a packet start).
Bytes Filler(size_t count, unsigned seed = 1);

extern const Bytes kStart;    // the 19-byte NPA start packet
extern const Bytes kRegister; // A5 00 04 50 E0 03 40: alert registration, reply asked for

} // namespace commtest
