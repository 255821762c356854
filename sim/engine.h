// The Orbis LP 2200 as seen from its port: takes the host's bytes (PJL, the
// NPA start packet, NPA commands, print data) and produces what the printer
// sends back. Usable in-process; the printer program puts it behind sockets.
#pragma once

#include "firmware.h"
#include "nvram.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orbis::sim {

// How the printer answers "@PJL DINQUIRE VNPAP".
enum class NpaMode {
    Auto,      // PJL text with AUTO; NPA after each NPA start packet
    Off,       // PJL text with OFF; NPA is never spoken
    On,        // the NPA packet A5 00 02 80 00; NPA with or without the start packet
    Silent,    // no answer; NPA as in Auto
    PjlOnly,   // fault: PJL text holding only the word ON; NPA as in Auto
    BadPacket, // fault: the NPA packet A5 00 02 80 01; NPA as in Auto
};
bool ParseNpaMode(const std::string& text, NpaMode* mode);

struct EngineOptions {
    NpaMode npaMode = NpaMode::Auto;
    std::string deviceId;
    std::string nvramPath;         // empty: settings live in memory only
    size_t chainSize = 0;          // >0: replies chained, at most this many data bytes per packet
    size_t strayBytes = 0;         // bytes of garbage before each reply
    bool foreignFirst = false;     // a reply to another command before each reply
    bool unsolicitedFirst = false; // an unsolicited error packet before each reply
    bool commandErrors = false;    // every reply replaced by a command error
    bool refuseOffline = false;
    bool refuseOnline = false;
    bool alertFirst = false; // the offline/online alert goes out before the reply
    bool silent = false;     // the firmware answers nothing at all
    // A printer of smaller means than the catalogue assumes: texts longer than this many
    // bytes, and numbers above this (besides a setting's special values), are refused; 0: no limit.
    size_t textMemory = 0;
    uint32_t numberMax = 0;
    // Activity log: level 1 commands and outcomes, 2 details, 3 byte dumps.
    std::function<void(int level, const std::string& line)> log;
};

// What one connection has sent that is not yet complete, and whether the NPA
// start packet has armed it for the next command.
struct Channel {
    Bytes pending;
    bool npaArmed = false;
};

class Engine {
  public:
    explicit Engine(EngineOptions options);

    // Consumes the host's bytes; returns the printer's answers, one unit per
    // command answered (a unit may hold several packets: chained reply, alert).
    std::vector<Bytes> Feed(Channel& channel, const uint8_t* data, size_t size);
    std::vector<Bytes> Feed(Channel& channel, const Bytes& data) {
        return Feed(channel, data.data(), data.size());
    }

    const std::string& DeviceId() const { return options_.deviceId; }
    // Replaces the behaviour (NPA mode and faults) while the printer runs; the
    // identity, settings memory and log stay.
    void SetBehaviour(const EngineOptions& behaviour);
    Bytes Value(uint16_t id) const;
    bool IsOffline() const;
    bool AlertRegistered() const;

  private:
    void HandlePacket(Channel& channel, const Bytes& packet, std::vector<Bytes>& out);
    void HandlePjl(const std::string& line, std::vector<Bytes>& out);
    void Reply(uint8_t command, const Bytes& data, std::vector<Bytes>& out, Bytes extra = {},
               bool extraFirst = false);
    void CommandError(uint8_t command, std::vector<Bytes>& out);
    Bytes Query(const uint8_t* ids, size_t count);
    void Log(int level, const std::string& line) const;
    // A value the firmware accepts but this printer's options (textMemory, numberMax) refuse.
    bool BeyondMeans(const FirmwareSetting& s, const Bytes& value) const;

    EngineOptions options_;
    mutable std::mutex mutex_;
    Nvram nvram_;
    bool offline_ = false;
    bool alertRegistered_ = false;
};

Bytes MakePacket(uint8_t flags, uint8_t command, const Bytes& data);

// The IEEE 1284 device ID for a family marker choice ("vantrel", "VNPAP",
// "vnpap", "Vnpap", "npap-comma", "npap-semicolon", "CPDNPA00", "cpdnpa00",
// "Cpdnpa00", "CPDNPA001", and the foreign "npap-nospace", "foreign");
// empty for an unknown choice.
std::string MakeDeviceId(const std::string& marker, const std::string& model);

} // namespace orbis::sim
