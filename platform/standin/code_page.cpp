// The Windows code-page calls over glibc's iconv. The ANSI code page is 949,
// iconv's "CP949" (Unified Hangul Code: KS X 1001 and the extra Hangul
// syllables); CP_UTF8 is iconv's "UTF-8"; wide text is UTF-16 in host order.
// No table of our own: what is a character, and which bytes lead a double-byte
// character, is what iconv says.
#include "win32.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <string>

namespace {

constexpr UINT kAnsiCodePage = 949;
const char kWideName[] = "UTF-16LE";
const char16_t kReplacement = 0xFFFD; // what an undecodable byte becomes without MB_ERR_INVALID_CHARS

const char* IconvName(UINT codePage) {
    switch (codePage) {
    case CP_ACP:
    case CP_OEMCP:
    case kAnsiCodePage:
        return "CP949";
    case CP_UTF8:
        return "UTF-8";
    default:
        return nullptr;
    }
}

// One iconv descriptor per direction and code page for each thread (a
// descriptor holds shift state and must not be shared), reset before each use.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Reset() {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return cd_;
    }

  private:
    iconv_t cd_;
};

Converter& ToWide(const char* name) {
    thread_local Converter ansi(kWideName, "CP949"), utf8(kWideName, "UTF-8");
    return std::strcmp(name, "UTF-8") == 0 ? utf8 : ansi;
}

Converter& FromWide(const char* name) {
    thread_local Converter ansi("CP949", kWideName), utf8("UTF-8", kWideName);
    return std::strcmp(name, "UTF-8") == 0 ? utf8 : ansi;
}

// Runs one iconv step over the input; returns false on an unconvertible unit
// (errno EILSEQ or EINVAL) with the input left at it, true when all is done.
bool Step(iconv_t cd, const char*& in, size_t& left, std::string& out) {
    while (left > 0) {
        char buffer[256];
        char* o = buffer;
        size_t room = sizeof buffer;
        char* from = const_cast<char*>(in);
        size_t r = iconv(cd, &from, &left, &o, &room);
        int error = errno;
        in = from;
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (r == static_cast<size_t>(-1) && error != E2BIG) return false;
    }
    return true;
}

// Multi-byte text -> UTF-16; false on an undecodable byte when `strict`.
bool Decode(const char* name, const char* in, size_t size, bool strict, std::u16string& wide) {
    Converter& converter = ToWide(name);
    if (!converter.Ok()) return false;
    iconv_t cd = converter.Reset();
    std::string bytes;
    while (!Step(cd, in, size, bytes)) {
        if (strict) return false;
        // An undecodable byte (or a lead byte without its trail byte) stands alone.
        bytes.push_back(static_cast<char>(kReplacement & 0xFF));
        bytes.push_back(static_cast<char>(kReplacement >> 8));
        ++in;
        --size;
        cd = converter.Reset();
    }
    wide.resize(bytes.size() / 2);
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return true;
}

// UTF-16 -> multi-byte text; a character the code page lacks becomes `fallback`.
bool Encode(const char* name, const char16_t* wide, size_t count, const std::string& fallback,
            bool& usedFallback, std::string& out) {
    Converter& converter = FromWide(name);
    if (!converter.Ok()) return false;
    std::string units(count * 2, '\0');
    for (size_t i = 0; i < count; ++i) {
        units[2 * i] = static_cast<char>(wide[i] & 0xFF);
        units[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    const char* in = units.data();
    size_t left = units.size();
    iconv_t cd = converter.Reset();
    while (!Step(cd, in, left, out)) {
        usedFallback = true;
        out += fallback;
        // Skip the character: a surrogate pair whole, anything else one unit.
        size_t at = static_cast<size_t>(in - units.data()) / 2;
        bool pair = at + 1 < count && wide[at] >= 0xD800 && wide[at] < 0xDC00 && wide[at + 1] >= 0xDC00 &&
                    wide[at + 1] < 0xE000;
        size_t skip = std::min<size_t>(left, pair ? 4 : 2);
        in += skip;
        left -= skip;
        cd = converter.Reset();
    }
    return true;
}

// Which bytes lead a double-byte character in code page 949: those iconv
// reports as the start of an incomplete sequence when they stand alone.
const std::array<bool, 256>& LeadBytes() {
    static const std::array<bool, 256> lead = [] {
        std::array<bool, 256> table{};
        iconv_t cd = iconv_open(kWideName, "CP949");
        if (cd == reinterpret_cast<iconv_t>(-1)) return table;
        for (int b = 0x80; b < 0x100; ++b) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char in[1] = {static_cast<char>(b)};
            char out[8];
            char* from = in;
            char* to = out;
            size_t left = 1, room = sizeof out;
            table[b] = iconv(cd, &from, &left, &to, &room) == static_cast<size_t>(-1) && errno == EINVAL;
        }
        iconv_close(cd);
        return table;
    }();
    return lead;
}

} // namespace

UINT GetACP(void) {
    return kAnsiCodePage;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    const char* name = IconvName(CodePage);
    if (!name || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    // -1: the string and its terminating zero, which is converted too.
    size_t size = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    std::u16string wide;
    if (!Decode(name, lpMultiByteStr, size, (dwFlags & MB_ERR_INVALID_CHARS) != 0, wide)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cchWideChar == 0) return static_cast<int>(wide.size());
    if (wide.size() > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
    return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    const char* name = IconvName(CodePage);
    bool utf8 = CodePage == CP_UTF8;
    if (!name || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) || (utf8 && (lpDefaultChar || lpUsedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwFlags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) { // iconv never maps to a look-alike anyway
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t count = 0;
    if (cchWideChar == -1)
        while (lpWideCharStr[count++] != 0) {
        }
    else
        count = static_cast<size_t>(cchWideChar);
    // UTF-8 writes U+FFFD for a lone surrogate; the ANSI code page its default character.
    std::string fallback = utf8                              ? "\xEF\xBF\xBD"
                           : lpDefaultChar && *lpDefaultChar ? std::string(lpDefaultChar)
                                                             : "?";
    bool usedDefault = false;
    std::string out;
    if (!Encode(name, lpWideCharStr, count, fallback, usedDefault, out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    if (cbMultiByte == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpMultiByteStr, out.data(), out.size());
    return static_cast<int>(out.size());
}

BOOL IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
    const char* name = IconvName(CodePage);
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (CodePage == CP_UTF8) return FALSE; // not a double-byte code page
    return LeadBytes()[TestChar] ? TRUE : FALSE;
}

BOOL IsDBCSLeadByte(BYTE TestChar) {
    return IsDBCSLeadByteEx(CP_ACP, TestChar);
}
