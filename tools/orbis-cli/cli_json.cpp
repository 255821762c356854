#include "cli_json.h"

#include <cstdio>

namespace cli {

namespace {
bool json = false;

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    size_t n = c < 0x80                          ? 1
               : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 2
               : (c & 0xF0) == 0xE0              ? 3
               : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if (n == 3 && ((c == 0xE0 && byte(i + 1) < 0xA0) || (c == 0xED && byte(i + 1) >= 0xA0))) return 0;
    if (n == 4 && ((c == 0xF0 && byte(i + 1) < 0x90) || (c == 0xF4 && byte(i + 1) >= 0x90))) return 0;
    return n;
}
} // namespace

bool JsonOutput() {
    return json;
}

void SetJsonOutput(bool on) {
    json = on;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out + "\"";
}

JsonObject& JsonObject::Raw(const std::string& name, const std::string& value) {
    members_.emplace_back(name, value);
    return *this;
}

std::string JsonObject::Json() const {
    std::string out = "{";
    for (size_t i = 0; i < members_.size(); ++i)
        out += (i ? "," : "") + JsonString(members_[i].first) + ":" + members_[i].second;
    return out + "}";
}

std::string JsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? "," : "") + items[i];
    return out + "]";
}

} // namespace cli
