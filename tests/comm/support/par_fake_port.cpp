#include "par_fake_port.h"

#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace commtest {

std::shared_ptr<FakeParallelPort> FakeParallelPort::Attach(const std::string& name,
                                                           const std::string& deviceId) {
    auto port = std::make_shared<FakeParallelPort>();
    port->deviceId_ = deviceId;
    orbis::platform::DeviceOverride device;
    device.name = name;
    device.deviceId = deviceId;
    device.open = [port](const std::string&, DWORD) {
        port->Opened(1);
        return std::shared_ptr<orbis::platform::IoObject>(port.get(), [port](auto*) { port->Opened(-1); });
    };
    orbis::platform::RegisterDeviceOverride(device);
    return port;
}

bool FakeParallelPort::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    *got = 0;
    std::unique_lock lock(mutex_);
    ++reads_;
    for (;;) {
        if (dead_) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        if (steps_.empty()) {
            // Silence: MAXDWORD interval with zero totals returns at once.
            const COMMTIMEOUTS& t = timeouts_;
            DWORD total = t.ReadTotalTimeoutMultiplier * count + t.ReadTotalTimeoutConstant;
            if (total == 0 && t.ReadIntervalTimeout == 0xFFFFFFFFu) return true;
            if (!arrived_.wait_for(lock, std::chrono::milliseconds(total), [&] { return !steps_.empty(); }))
                return true;
            continue;
        }
        Step& step = steps_.front();
        if (!step.death && !step.pauseMs) {
            *got = static_cast<DWORD>(std::min<size_t>(count, step.bytes.size() - step.offset));
            if (*got) std::memcpy(buffer, step.bytes.data() + step.offset, *got);
            step.offset += *got;
            if (step.offset == step.bytes.size()) steps_.pop_front();
            return true;
        }
        Step taken = step;
        steps_.pop_front();
        dead_ = taken.death;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(taken.pauseMs));
        lock.lock();
    }
}

bool FakeParallelPort::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    auto bytes = static_cast<const unsigned char*>(buffer);
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        *written = 0;
        *error = ERROR_WRITE_FAULT;
        if (dead_ || writeFails) return false;
        writes_.emplace_back(bytes, bytes + count);
        writeTimes_.push_back(Clock::now());
        responder = responder_;
    }
    *written = count;
    if (responder) responder(Bytes(bytes, bytes + count), *this);
    return true;
}

bool FakeParallelPort::Ioctl(DWORD code, const void*, DWORD, void* out, DWORD outSize, DWORD* returned,
                             DWORD* error) {
    std::lock_guard lock(mutex_);
    *returned = 0;
    *error = ERROR_GEN_FAILURE;
    if (code != 0x11 || deviceId_.empty() || dead_) return false; // 0x11: the 1284 device ID
    *returned = std::min<DWORD>(outSize, static_cast<DWORD>(deviceId_.size()));
    std::memcpy(out, deviceId_.data(), *returned);
    return true;
}

std::shared_ptr<FakeParallelPort> OpenLpt1(int mode) {
    auto port = FakeParallelPort::Attach("LPT1", mode == NPA_ON ? "MFG:Vantrel;" : "MFG:X;CMD:VNPAP;");
    port->SetResponder([](const Bytes& written, FakeParallelPort& self) {
        if (written.size() == 39) self.Feed({0xA5, 0x00, 0x02, 0x80, 0x00}); // the inquiry: NPA answers
    });
    EXPECT_EQ(DvcOpenPort("LPT1"), DVC_OK);
    EXPECT_EQ(G_NpaMode, mode);
    port->SetResponder(nullptr);
    return port;
}

} // namespace commtest
