#include "binding_text.h"

#include "win32.h"

#include <cstdint>

namespace {

char FoldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        // A double-byte character compares whole: its trail byte may look like a letter.
        if (IsDBCSLeadByte(static_cast<BYTE>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

void SplitSettingKey(const std::string& key, std::string& name, std::string& value) {
    size_t colon = key.find(':');
    if (colon == std::string::npos) {
        name = key;
        value.clear();
        return;
    }
    name = key.substr(0, colon);
    value = key.substr(colon + 1);
}

int SpinPositionFromText(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Wraps modulo 2^32 like the C library on Windows; only the low 16 bits matter.
    uint32_t number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        number = number * 10u + static_cast<uint32_t>(text[i] - '0');
    if (negative) number = 0u - number;
    return static_cast<int16_t>(static_cast<uint16_t>(number & 0xFFFFu));
}

std::string FormatSpinPosition(int position, bool thousands) {
    std::string digits = std::to_string(position < 0 ? -static_cast<long long>(position) : position);
    std::string out;
    if (thousands) {
        size_t lead = digits.size() % 3;
        for (size_t i = 0; i < digits.size(); ++i) {
            if (i != 0 && (i % 3) == lead % 3) out += ',';
            out += digits[i];
        }
    } else {
        out = digits;
    }
    return position < 0 ? "-" + out : out;
}

bool ParseSpinText(const std::string& text, int& position) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long number = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        if (text[i] == ',') continue;
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
        if (number > 0x7FFFFFFFLL) return false;
        any = true;
    }
    if (!any) return false;
    position = static_cast<int>(negative ? -number : number);
    return true;
}
