// The engine registered as an in-process device, reached through the Win32 calls.
#include "engine_device.h"

#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <string>

using namespace orbis::sim;

namespace {

const std::string kQuery =
    std::string("\xA5\x00\x10\x80\xA4\x5B\xA4\x5B\x10\xEF\xA4\x5B\x11\xEE\x00\xFF\x13\xEC\x2E", 19) +
    std::string("\xA5\x00\x09\x50\xE0\xE7\x20\x02\x01\x12\x04\x09", 12);
const std::string kReply("\xA5\x00\x0F\x10\xE0\xE7\x20\x01\x12\x01\x1A\x04\x09\x04\x00\x00\x00\x5A", 18);
const char kUsbPath[] = "\\\\?\\usb#vid_1a2b&pid_0c1d#INPROC#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

HANDLE Open(const std::string& name, DWORD access) {
    return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

} // namespace

TEST(EngineDevice, AnswersThroughTheWin32Calls) {
    EngineOptions options;
    options.deviceId = MakeDeviceId("VNPAP", "Orbis LP 2200");
    auto engine = std::make_shared<Engine>(options);
    RegisterEngineDevice(engine, "LPT7", false);
    RegisterEngineDevice(engine, kUsbPath, true, {5});
    struct Case {
        std::string writeTo, readFrom;
        DWORD readSize;
        std::vector<DWORD> reads; // sizes the reads return
    } cases[] = {
        {"LPT7", "LPT7", 64, {18}},
        {std::string(kUsbPath) + "\\PIPE00", std::string(kUsbPath) + "\\PIPE01", 32, {5, 5, 5, 3}},
        {std::string(kUsbPath) + "\\PIPE00", std::string(kUsbPath) + "\\PIPE01", 4, {4, 1, 4, 1, 4, 1, 3}},
    };
    for (const auto& c : cases) {
        HANDLE out = Open(c.writeTo, GENERIC_READ | GENERIC_WRITE);
        HANDLE in = c.readFrom == c.writeTo ? out : Open(c.readFrom, GENERIC_READ);
        ASSERT_NE(out, INVALID_HANDLE_VALUE) << c.writeTo;
        ASSERT_NE(in, INVALID_HANDLE_VALUE) << c.readFrom;
        COMMTIMEOUTS t = {50, 0, 2000, 0, 0}; // a parallel read ends once the reply has come
        SetCommTimeouts(in, &t);
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(out, kQuery.data(), DWORD(kQuery.size()), &n, nullptr));
        std::string reply;
        for (DWORD expected : c.reads) {
            char buffer[64];
            ASSERT_TRUE(ReadFile(in, buffer, c.readSize, &n, nullptr));
            EXPECT_EQ(n, expected) << c.readFrom << " after " << reply.size();
            reply.append(buffer, n);
        }
        EXPECT_EQ(reply, kReply) << c.readFrom;
        if (in != out) CloseHandle(in);
        CloseHandle(out);
    }
    HANDLE device = Open(kUsbPath, GENERIC_READ | GENERIC_WRITE);
    char id[256];
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(device, 0x00220034, nullptr, 0, id, sizeof id, &returned, nullptr));
    EXPECT_EQ(std::string(id + 2, returned - 2), engine->DeviceId());
    EXPECT_EQ(size_t(uint8_t(id[0])) << 8 | uint8_t(id[1]), returned);
    CloseHandle(device);
    orbis::platform::ClearDeviceOverrides();
}
