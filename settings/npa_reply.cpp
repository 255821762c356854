// The bytes of the settings exchange that need no port: hex text, the batched
// query command, and the decoding of its reply.
#include "npa_exchange.h"

#include <algorithm>
#include <cstring>

StringMap NpaSettingIds;

namespace {

constexpr size_t kReplyHeaderSize = 7;    // five header bytes and the first two data bytes
constexpr size_t kMaxItemData = 41;       // what fits the 50-byte reply image behind its 9 bytes
constexpr size_t kMaxQuerySettings = 125; // the query's length field has one byte

} // namespace

void HexString(const unsigned char* bytes, size_t count, std::string& out) {
    static const char kDigits[] = "0123456789ABCDEF";
    out.clear();
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
}

std::string HexString(const unsigned char* bytes, size_t count) {
    std::string out;
    HexString(bytes, count, out);
    return out;
}

std::string DecodeNpaValue(const std::string& name, const unsigned char* image, size_t length) {
    if (length <= 9) return std::string();
    const unsigned char* data = image + 9;
    size_t size = length - 9;
    auto replies = NpaReplyValues.find(name);
    if (replies != NpaReplyValues.end()) {
        auto value = replies->second.find(HexString(data, size));
        if (value != replies->second.end() && !value->second.empty()) return value->second;
    }
    if (IsNpaTextSetting(name)) {
        size_t n = 0;
        while (n < size && data[n] != 0)
            ++n;
        std::string text(reinterpret_cast<const char*>(data), n);
        if (!text.empty()) return text;
    }
    if (IsNpaRangeSetting(name)) {
        uint32_t v = 0;
        for (size_t i = 0; i < size; ++i)
            v = (v << 8) | data[i];
        return std::to_string(static_cast<int32_t>(v));
    }
    return std::string();
}

std::vector<unsigned char> BuildQueryCommand() {
    LoadNpaCatalogue();
    std::vector<unsigned char> query(8, 0);
    size_t n = 0;
    for (const auto& [name, command] : NpaReadCommands) {
        if (n == kMaxQuerySettings) break; // more would not fit the one-byte length
        const unsigned char* id = command.Bytes.data() + 7;
        NpaSettingIds[HexString(id, 2)] = name;
        query.push_back(id[0]);
        query.push_back(id[1]);
        ++n;
    }
    const unsigned char header[8] = {0xA5, 0x00, static_cast<unsigned char>(2 * n + 5), 0x50, 0xE0,
                                     0xE7, 0x20, static_cast<unsigned char>(n)};
    std::copy(header, header + 8, query.begin());
    return query;
}

void DecodeQueryReply(const unsigned char* reply, uint32_t replyLength, StringMap& values) {
    size_t position = kReplyHeaderSize;
    // A truncated last item is dropped rather than read past the reply.
    while (position + 3 <= replyLength) {
        size_t d = reply[position + 2];
        if (position + 3 + d > replyLength) break;
        auto id = NpaSettingIds.find(HexString(&reply[position], 2));
        std::string name = id == NpaSettingIds.end() ? std::string() : id->second;
        unsigned char image[kReplyImageSize] = {0};
        size_t kept = d < kMaxItemData ? d : kMaxItemData;
        image[0] = 0xA5;
        image[1] = 0x00;
        image[2] = static_cast<unsigned char>(kept + 6);
        image[3] = 0x51;
        image[4] = 0xE0;
        image[5] = 0xE7;
        image[6] = 0x00;
        image[7] = reply[position];
        image[8] = reply[position + 1];
        std::memcpy(image + 9, &reply[position + 3], kept);
        values[name] = DecodeNpaValue(name, image, kept + 9);
        position += d + 3;
    }
}
