// The code-page calls: ANSI is code page 949, where "가" is B0 A1 (KS X 1001) and
// "똠" 8C 63 (an extended Hangul syllable whose trail byte is the letter 'c').
#include "win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kGaDdom = "\xB0\xA1\x8C\x63"; // "가똠"

TEST(CodePage, ConversionsLeadBytesAndErrors) {
    EXPECT_EQ(GetACP(), 949u);
    const struct ToWide {
        UINT codePage;
        DWORD flags;
        std::string bytes;
        int size, room, result; // size -1: with its terminator; room 0: the size only
        std::u16string wide;
        DWORD error; // when the result is 0
    } toWide[] = {
        {CP_ACP, 0, kGaDdom + "A", 5, 8, 3, u"가똠A", 0},
        {CP_ACP, 0, "\xB0\xA1", -1, 8, 2, std::u16string(u"가\0", 2), 0},
        {949, 0, kGaDdom, 4, 0, 2, u"", 0},
        {CP_ACP, 0, kGaDdom, 4, 1, 0, u"", ERROR_INSUFFICIENT_BUFFER},
        {CP_ACP, MB_ERR_INVALID_CHARS, "A\xB0", 2, 8, 0, u"", ERROR_NO_UNICODE_TRANSLATION},
        {CP_ACP, 0, "A\xB0", 2, 8, 2, u"A\xFFFD", 0}, // a lead byte without its trail byte
        {CP_UTF8, 0, "\xEA\xB0\x80", 3, 8, 1, u"가", 0},
        {1252, 0, "A", 1, 8, 0, u"", ERROR_INVALID_PARAMETER},
        {CP_ACP, 0, "A", 0, 8, 0, u"", ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : toWide) {
        SCOPED_TRACE(c.bytes);
        char16_t out[8] = {};
        SetLastError(0);
        int n =
            MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), c.size, c.room ? out : nullptr, c.room);
        EXPECT_EQ(n, c.result);
        EXPECT_EQ(std::u16string(out, c.room ? size_t(n) : 0), c.wide);
        EXPECT_EQ(GetLastError(), c.error);
    }

    const struct ToBytes {
        UINT codePage;
        std::u16string wide;
        int room, result;
        std::string bytes;
        BOOL usedDefault;
        DWORD error;
    } toBytes[] = {
        {CP_ACP, u"가똠A", 8, 5, kGaDdom + "A", FALSE, 0},
        {CP_ACP, u"A\U0001F600\x0E01", 8, 3, "A??", TRUE, 0}, // a surrogate pair is one character
        {CP_ACP, u"가똠", 0, 4, "", FALSE, 0},
        {CP_ACP, u"가똠", 3, 0, "", -1, ERROR_INSUFFICIENT_BUFFER},
        {CP_UTF8, u"가", 8, 3, "\xEA\xB0\x80", -1, 0}, // UTF-8 takes no default-used flag
    };
    for (const auto& c : toBytes) {
        SCOPED_TRACE(c.bytes);
        char out[8] = {};
        BOOL used = -1;
        SetLastError(0);
        int n = WideCharToMultiByte(c.codePage, 0, c.wide.data(), int(c.wide.size()), c.room ? out : nullptr,
                                    c.room, nullptr, c.codePage == CP_UTF8 ? nullptr : &used);
        EXPECT_EQ(n, c.result);
        EXPECT_EQ(std::string(out, c.room ? size_t(n) : 0), c.bytes);
        EXPECT_TRUE(n == 0 || used == c.usedDefault) << used;
        EXPECT_EQ(GetLastError(), c.error);
    }
    char out[4];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"A", 1, out, 4, "?", nullptr), 0)
        << "no default character in UTF-8";

    for (int b : {0xB0, 0x8C, 0x81, 0xFD, 0x41, 0x63, 0x7F, 0x80, 0xFF})
        EXPECT_EQ(bool(IsDBCSLeadByte(BYTE(b))), b >= 0x81 && b <= 0xFE) << b;
}

} // namespace
