#include "npa_exchange.h"

#include "dvc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Builds the write command of one NAME:VALUE item; false when the catalogue has none.
bool BuildWriteCommand(const std::string& item, std::vector<unsigned char>& command) {
    std::string key = UpperCase(item);
    auto exact = NpaWriteCommands.find(key);
    if (exact != NpaWriteCommands.end()) {
        command = exact->second.Bytes;
        return true;
    }
    size_t colon = key.find(':');
    if (colon == std::string::npos) return false;
    std::string name = key.substr(0, colon);
    std::string value = item.substr(colon + 1); // letters as the user typed them
    auto found = NpaWriteCommands.find(name);
    if (IsNpaTextSetting(name)) {
        if (found == NpaWriteCommands.end()) return false;
        command = found->second.Bytes;
        command.insert(command.end(), value.begin(), value.end());
        if (command.size() > 0xFFFF || command.size() < 3) return false;
        size_t length = command.size() - 3;
        command[1] = static_cast<unsigned char>(length >> 8);
        command[2] = static_cast<unsigned char>(length & 0xFF);
        return true;
    }
    if (IsNpaRangeSetting(name)) {
        if (found == NpaWriteCommands.end()) return false;
        // The template is rewritten in place, as the printer's command for this value.
        std::vector<unsigned char>& bytes = found->second.Bytes;
        uint32_t v = static_cast<uint32_t>(std::atoi(value.c_str()));
        if (bytes.size() == 10) {
            bytes[9] = static_cast<unsigned char>(v & 0xFF);
        } else if (bytes.size() == 13) {
            bytes[9] = static_cast<unsigned char>(v >> 24);
            bytes[10] = static_cast<unsigned char>(v >> 16);
            bytes[11] = static_cast<unsigned char>(v >> 8);
            bytes[12] = static_cast<unsigned char>(v);
        }
        command = bytes;
        return true;
    }
    return false;
}

} // namespace

int QueryPrinterSettings(const char* port, StringMap& values) {
    LoadNpaCatalogue();
    int r = DvcOpenPort(port);
    if (r == DVC_OPEN_UNIDIRECTIONAL) {
        for (const auto& [name, value] : NpaDefaultValues)
            values[name] = value;
        return kQueryWriteOnly;
    }
    if (r != DVC_OK) return kOpenFailed;

    std::vector<unsigned char> query = BuildQueryCommand();
    std::vector<unsigned char> reply(kQueryReplySize, 0);
    uint32_t replyLength = kQueryReplySize;
    if (DvcSendCommand(port, query.data(), static_cast<uint16_t>(query.size()), reply.data(), &replyLength) !=
        0)
        return kQueryFailed;
    if (replyLength > kQueryReplySize) replyLength = kQueryReplySize;

    DecodeQueryReply(reply.data(), replyLength, values);
    return DVC_OK;
}

int WritePrinterSettings(const char* port, const std::vector<std::string>& changes) {
    LoadNpaCatalogue();
    int r = DvcOpenPort(port);
    if (r != DVC_OK && r != DVC_OPEN_UNIDIRECTIONAL) return kOpenFailed;
    if (DvcOffline(port, true) != 0) return kWriteFailed;

    int result = DVC_OK;
    for (const std::string& item : changes) {
        result = kWriteFailed;
        std::vector<unsigned char> command;
        if (!BuildWriteCommand(item, command)) break;
        uint32_t replyLength = 0;
        if (DvcSendCommand(port, command.data(), static_cast<uint16_t>(command.size()), nullptr,
                           &replyLength) != 0)
            break;
        result = DVC_OK;
    }
    DvcOffline(port, false);
    DvcClosePort(port);
    return result;
}

int ShutdownPrinterLink(const char* port) {
    LoadNpaCatalogue();
    NpaReadCommands.clear();
    NpaWriteCommands.clear();
    NpaReplyValues.clear();
    int rc = DvcClosePort(port);
    DvcShutdown();
    return rc;
}
