#include "engine.h"

#include <cstring>

namespace orbis::sim {

namespace {

constexpr uint8_t kSop = 0xA5;
constexpr uint8_t kNpaStart = 0xA4;
constexpr uint8_t kControl = 0xE0;
constexpr uint8_t kAlert = 0xF0;
constexpr uint8_t kFlagError = 0x80, kFlagMore = 0x20, kFlagReply = 0x10, kFlagCommandError = 0x08;
constexpr size_t kMaxReply = 2048;
const char kUel[] = "\x1b%-12345X";
constexpr size_t kUelSize = 9;
constexpr size_t kMaxPjlLine = 512;

} // namespace

bool ParseNpaMode(const std::string& text, NpaMode* mode) {
    static const std::pair<const char*, NpaMode> names[] = {
        {"auto", NpaMode::Auto},     {"off", NpaMode::Off},        {"on", NpaMode::On},
        {"silent", NpaMode::Silent}, {"pjl-on", NpaMode::PjlOnly}, {"bad-packet", NpaMode::BadPacket}};
    for (const auto& [name, value] : names)
        if (text == name) {
            *mode = value;
            return true;
        }
    return false;
}

Bytes MakePacket(uint8_t flags, uint8_t command, const Bytes& data) {
    size_t length = data.size() + 2;
    Bytes p(5 + data.size());
    p[0] = kSop;
    p[1] = uint8_t(length >> 8);
    p[2] = uint8_t(length);
    p[3] = flags;
    p[4] = command;
    std::copy(data.begin(), data.end(), p.begin() + 5);
    return p;
}

std::string MakeDeviceId(const std::string& marker, const std::string& model) {
    std::string mfg = "Orbis", cmd;
    if (marker == "vantrel")
        mfg = "Vantrel", cmd = "PCL,PJL,POSTSCRIPT";
    else if (marker == "VNPAP" || marker == "vnpap" || marker == "Vnpap")
        cmd = "PCL,PJL,POSTSCRIPT," + marker;
    else if (marker == "npap-comma")
        cmd = "PCL,PJL, NPAP,POSTSCRIPT";
    else if (marker == "npap-semicolon")
        cmd = "PCL,PJL,POSTSCRIPT, NPAP";
    else if (marker == "CPDNPA00" || marker == "cpdnpa00" || marker == "Cpdnpa00" || marker == "CPDNPA001")
        cmd = "PCL,PJL,POSTSCRIPT," + marker;
    else if (marker == "npap-nospace")
        cmd = "PCL,PJL,NPAP,POSTSCRIPT";
    else if (marker == "foreign")
        mfg = "Acme", cmd = "PCL,PJL";
    else
        return "";
    return "MFG:" + mfg + ";CMD:" + cmd + ";MDL:" + model + ";CLS:PRINTER;DES:" + mfg + " " + model +
           ";MODEL:" + model + ";";
}

Engine::Engine(EngineOptions options) : options_(std::move(options)), nvram_(options_.nvramPath) {}

void Engine::Log(int level, const std::string& line) const {
    if (options_.log) options_.log(level, line);
}

Bytes Engine::Value(uint16_t id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindSetting(id) ? nvram_.Get(id) : Bytes{};
}

bool Engine::IsOffline() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offline_;
}

bool Engine::AlertRegistered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return alertRegistered_;
}

void Engine::SetBehaviour(const EngineOptions& behaviour) {
    std::lock_guard<std::mutex> lock(mutex_);
    EngineOptions next = behaviour;
    next.deviceId = options_.deviceId;
    next.nvramPath = options_.nvramPath;
    next.log = options_.log;
    options_ = std::move(next);
}

std::vector<Bytes> Engine::Feed(Channel& channel, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Bytes> out;
    Bytes& in = channel.pending;
    in.insert(in.end(), data, data + size);
    size_t pos = 0, printData = 0;
    while (pos < in.size()) {
        size_t left = in.size() - pos;
        uint8_t b = in[pos];
        if (b == kSop) {
            if (left < 3) break;
            size_t length = size_t(in[pos + 1]) << 8 | in[pos + 2];
            if (length < 2) { // no room for flags and command: not a packet
                pos += 3;
                continue;
            }
            if (left < length + 3) break;
            Bytes packet(in.begin() + (ptrdiff_t)pos, in.begin() + (ptrdiff_t)(pos + length + 3));
            pos += length + 3;
            HandlePacket(channel, packet, out);
            continue;
        }
        if (b == 0x1B) {
            size_t n = std::min(left, kUelSize);
            if (std::memcmp(&in[pos], kUel, n) == 0) {
                if (n < kUelSize) break;
                pos += kUelSize;
                continue;
            }
        }
        if (b == '@') {
            size_t end = pos;
            while (end < in.size() && in[end] != '\n')
                ++end;
            if (end < in.size()) {
                HandlePjl(std::string(in.begin() + (ptrdiff_t)pos, in.begin() + (ptrdiff_t)end), out);
                pos = end + 1;
                continue;
            }
            if (left < kMaxPjlLine) break; // wait for the rest of the line
        }
        ++pos;
        ++printData;
    }
    in.erase(in.begin(), in.begin() + (ptrdiff_t)pos);
    if (printData) Log(2, "print data: " + std::to_string(printData) + " bytes ignored");
    return out;
}

void Engine::HandlePjl(const std::string& rawLine, std::vector<Bytes>& out) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    Log(1, "PJL: " + line);
    if (line.find("DINQUIRE") == std::string::npos || line.find("VNPAP") == std::string::npos) return;
    if (options_.silent) return;
    std::string text;
    switch (options_.npaMode) {
    case NpaMode::Auto:
        text = "AUTO";
        break;
    case NpaMode::Off:
        text = "OFF";
        break;
    case NpaMode::PjlOnly:
        text = "ON";
        break;
    case NpaMode::On:
        out.push_back({kSop, 0x00, 0x02, 0x80, 0x00});
        Log(1, "PJL inquiry answered in NPA");
        return;
    case NpaMode::BadPacket:
        out.push_back({kSop, 0x00, 0x02, 0x80, 0x01});
        Log(1, "PJL inquiry answered with a bad NPA packet");
        return;
    case NpaMode::Silent:
        Log(1, "PJL inquiry left unanswered");
        return;
    }
    std::string reply = "@PJL DINQUIRE VNPAP\r\n" + text + "\r\n\f";
    out.push_back(Bytes(reply.begin(), reply.end()));
    Log(1, "PJL inquiry answered: " + text);
}

void Engine::Reply(uint8_t command, const Bytes& data, std::vector<Bytes>& out, Bytes extra,
                   bool extraFirst) {
    Bytes unit;
    if (extraFirst) unit = extra;
    for (size_t i = 0; i < options_.strayBytes; ++i)
        unit.push_back(uint8_t(0x11 + i % 0x40)); // never 0xA5
    if (options_.unsolicitedFirst) {
        Bytes p = MakePacket(kFlagError, command, {0x01});
        unit.insert(unit.end(), p.begin(), p.end());
    }
    if (options_.foreignFirst) {
        Bytes p = MakePacket(kFlagReply, uint8_t(command ^ 0x21), {0x00, 0x00});
        unit.insert(unit.end(), p.begin(), p.end());
    }
    if (options_.commandErrors) {
        Bytes p = MakePacket(kFlagError | kFlagCommandError, command, {0x01});
        unit.insert(unit.end(), p.begin(), p.end());
        Log(1, "reply replaced by a command error");
    } else if (options_.chainSize == 0 || data.size() <= options_.chainSize) {
        Bytes p = MakePacket(kFlagReply, command, data);
        unit.insert(unit.end(), p.begin(), p.end());
    } else {
        size_t packets = 0;
        for (size_t at = 0; at < data.size(); at += options_.chainSize, ++packets) {
            size_t n = std::min(options_.chainSize, data.size() - at);
            bool last = at + n == data.size();
            Bytes p = MakePacket(uint8_t(kFlagReply | (last ? 0 : kFlagMore)), command,
                                 Bytes(data.begin() + (ptrdiff_t)at, data.begin() + (ptrdiff_t)(at + n)));
            unit.insert(unit.end(), p.begin(), p.end());
        }
        Log(2, "reply chained in " + std::to_string(packets) + " packets");
    }
    if (!extraFirst) unit.insert(unit.end(), extra.begin(), extra.end());
    Log(3, "out: " + Hex(unit));
    out.push_back(std::move(unit));
}

void Engine::CommandError(uint8_t command, std::vector<Bytes>& out) {
    Bytes unit = MakePacket(kFlagError | kFlagCommandError, command, {0x01});
    Log(3, "out: " + Hex(unit));
    out.push_back(std::move(unit));
}

Bytes Engine::Query(const uint8_t* ids, size_t count) {
    Bytes data = {0xE7, 0x20};
    size_t dropped = 0;
    for (size_t i = 0; i < count; ++i) {
        uint16_t id = uint16_t(ids[2 * i] << 8 | ids[2 * i + 1]);
        const FirmwareSetting* s = FindSetting(id);
        Bytes value = s ? nvram_.Get(id) : Bytes{};
        if (!s) Log(2, "query: unknown identifier " + Hex(&ids[2 * i], 2));
        // The whole reply, 5 header bytes included, stays within 2048 bytes.
        if (5 + data.size() + 3 + value.size() > kMaxReply) {
            ++dropped;
            continue;
        }
        data.push_back(ids[2 * i]);
        data.push_back(ids[2 * i + 1]);
        data.push_back(uint8_t(value.size()));
        data.insert(data.end(), value.begin(), value.end());
    }
    if (dropped)
        Log(1,
            "query: " + std::to_string(dropped) + " settings left out to keep the reply within 2048 bytes");
    return data;
}

void Engine::HandlePacket(Channel& channel, const Bytes& p, std::vector<Bytes>& out) {
    Log(3, "in: " + Hex(p));
    uint8_t flags = p[3], command = p[4];
    Bytes data(p.begin() + 5, p.end());
    if (command == kNpaStart) {
        if (options_.npaMode == NpaMode::Off) {
            Log(2, "NPA start packet ignored: NPA is off");
            return;
        }
        channel.npaArmed = true;
        Log(2, "NPA start packet");
        return;
    }
    if (options_.npaMode == NpaMode::Off) {
        Log(1, "NPA command ignored: NPA is off");
        return;
    }
    if (options_.npaMode != NpaMode::On && !channel.npaArmed) {
        Log(1, "NPA command without NPA start packet taken as print data");
        return;
    }
    channel.npaArmed = false;
    bool wantsReply = (flags & kFlagReply) != 0;
    if (options_.silent) {
        Log(1, "command " + Hex(p) + " left unanswered (silent)");
        return;
    }
    if (command != kControl || data.size() < 2) {
        Log(1, "unknown command " + Hex(&command, 1) + " refused");
        if (wantsReply) CommandError(command, out);
        return;
    }

    if (data[0] == 0xE7 && data[1] == 0x20 && data.size() >= 3) { // batched query
        size_t n = data[2];
        if (data.size() != 3 + 2 * n) {
            Log(1, "query with " + std::to_string(n) + " identifiers but " + std::to_string(data.size() - 3) +
                       " identifier bytes refused");
            if (wantsReply) CommandError(command, out);
            return;
        }
        Log(1, "query of " + std::to_string(n) + " settings");
        if (wantsReply) Reply(command, Query(&data[3], n), out);
        return;
    }
    if (data[0] == 0xE7 && data[1] == 0x22 && data.size() == 4) { // one setting
        Log(1, "read of setting " + Hex(&data[2], 2));
        Bytes reply = Query(&data[2], 1);
        reply[1] = 0x22;
        if (wantsReply) Reply(command, reply, out);
        return;
    }
    if (data[0] == 0xE7 && data[1] == 0x0C && data.size() >= 3) { // offline / online
        uint8_t wanted = data[2] ? 1 : 0;
        const char* state = wanted ? "offline" : "online";
        bool refused = wanted ? options_.refuseOffline : options_.refuseOnline;
        if (refused) {
            Log(1, std::string("going ") + state + " refused");
            if (wantsReply) Reply(command, {0xE7, 0x0C, data[2], 0x00}, out);
            return;
        }
        offline_ = wanted;
        Log(1, std::string("now ") + state);
        Bytes alert;
        if (alertRegistered_) alert = MakePacket(0x00, kAlert, {0xE7, 0x0C, wanted, wanted});
        if (wantsReply)
            Reply(command, {0xE7, 0x0C, data[2], 0x01}, out, alert, options_.alertFirst);
        else if (!alert.empty())
            out.push_back(alert);
        return;
    }
    if (data[0] == 0x03) { // alert registration
        alertRegistered_ = data[1] == 0x40;
        Log(1, alertRegistered_ ? "alert registered" : "alert deregistered");
        if (wantsReply) Reply(command, data, out);
        return;
    }
    if (data[0] == 0xE7 && data[1] == 0x31 && data.size() >= 4) { // value write
        uint16_t id = uint16_t(data[2] << 8 | data[3]);
        Bytes value(data.begin() + 4, data.end());
        const FirmwareSetting* s = FindSetting(id);
        const char* why = !s                       ? "no such setting"
                          : !Accepts(*s, value)    ? "value not accepted"
                          : BeyondMeans(*s, value) ? "beyond this printer's memory or range"
                                                   : nullptr;
        if (why) {
            Log(1, "write of " + Hex(&data[2], 2) + "=" + Hex(value) + " refused: " + why);
            if (wantsReply) CommandError(command, out);
            return;
        }
        if (!nvram_.Set(id, value)) Log(1, "settings memory could not be saved to " + nvram_.Path());
        Log(1, std::string("set ") + s->name + " (" + Hex(&data[2], 2) + ") = " + Hex(value));
        if (wantsReply) Reply(command, {0xE7, 0x31, data[2], data[3]}, out);
        return;
    }
    Log(1, "unknown control command " + Hex(data) + " refused");
    if (wantsReply) CommandError(command, out);
}

bool Engine::BeyondMeans(const FirmwareSetting& s, const Bytes& value) const {
    if (s.kind == DataKind::Text) return options_.textMemory && value.size() > options_.textMemory;
    if (s.kind != DataKind::Number || !options_.numberMax) return false;
    uint32_t v = 0;
    for (uint8_t b : value)
        v = (v << 8) | b;
    for (const SpecialValue& special : s.specials)
        if (special.value == v) return false;
    return v > options_.numberMax;
}

} // namespace orbis::sim
