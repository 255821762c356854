// Shared helpers for the library's tests: a fresh root and current directory
// per test, a clean library state, file and log readers, and an in-process
// parallel port that records what reaches it.
#pragma once

#include <chrono>
#include <filesystem>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace commtest {

using Bytes = std::vector<unsigned char>;

// Gives one test its own ORBIS_ROOT and current directory (both temporary),
// and puts them back afterwards. Also leaves the library closed and
// uninitialised on entry and on exit, so every test starts clean.
class TestWorld {
  public:
    TestWorld();
    ~TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

    const std::string& root() const { return root_; }
    const std::string& cwd() const { return cwd_; }

  private:
    std::string base_, root_, cwd_, oldCwd_, oldRoot_;
    bool hadRoot_ = false;
};

// Closes whatever port is open, shuts the library down and lets the next call
// initialise it again (re-reading the registry).
void ResetLibrary();

// Host path of a Windows path under the current root.
std::string Host(const std::string& windowsPath);
bool Exists(const std::string& hostPath);
Bytes ReadBytes(const std::string& hostPath);
void WriteBytes(const std::string& hostPath, const Bytes& bytes);
std::vector<std::string> ReadLines(const std::string& hostPath);

// The log file "C:\VanDvc32.log" as lines, and each line's message part
// (behind "HH:MM:SS TICKS: "); an empty vector when the file is missing.
std::vector<std::string> LogLines();
std::vector<std::string> LogMessages();

// "LoggingLevel" under HKEY_LOCAL_MACHINE\SOFTWARE\VANTREL\VANDVC.
void SetLoggingLevel(uint32_t level);
bool ReadLoggingLevel(uint32_t* level);

// The access list the hive file records for a key ("S-1-5-32-545:F003F,..."),
// empty when it records none.
std::string RecordedDacl(const std::string& keyPath);

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Hex(const std::string& text); // "A5 00 05"

extern const Bytes kStart;              // the 19-byte NPA start packet
extern const Bytes kOfflineFileCommand; // A5 00 06 40 E0 E7 0C 01 00
extern const Bytes kOnlineFileCommand;  // A5 00 06 40 E0 E7 0C 00 00

// Everything written to an in-process port, with the time of each write.
struct Recording {
    struct Write {
        std::chrono::steady_clock::time_point at;
        Bytes bytes;
    };
    std::mutex mutex;
    std::vector<Write> writes;
    Bytes All();
};

// Registers an in-process parallel port under `name` (e.g. "LPT1") that keeps
// everything written to it and never answers.
std::shared_ptr<Recording> RecordPort(const std::string& name, const std::string& deviceId = "");

} // namespace commtest
