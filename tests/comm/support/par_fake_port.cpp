#include "par_fake_port.h"

#include "orbis_platform.h"
#include "platform/src/io_object.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace partest {

namespace {

class Device : public orbis::platform::IoObject {
  public:
    explicit Device(std::shared_ptr<FakeParallelPort> port) : port_(std::move(port)) { port_->Opened(1); }
    ~Device() override { port_->Opened(-1); }
    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override {
        return port_->Read(buffer, count, got, error);
    }
    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override {
        return port_->Write(buffer, count, written, error);
    }
    bool Ioctl(DWORD code, const void*, DWORD, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override {
        return port_->Ioctl(code, out, outSize, returned, error);
    }
    bool GetTimeouts(COMMTIMEOUTS* timeouts, DWORD*) override { return port_->GetTimeouts(timeouts); }
    bool SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD*) override {
        port_->SetTimeouts(timeouts);
        return true;
    }

  private:
    std::shared_ptr<FakeParallelPort> port_;
};

} // namespace

std::shared_ptr<FakeParallelPort> FakeParallelPort::Attach(const std::string& name,
                                                           const std::string& deviceId) {
    auto port = std::make_shared<FakeParallelPort>();
    port->SetDeviceId(deviceId);
    orbis::platform::DeviceOverride device;
    device.name = name;
    device.deviceId = deviceId;
    device.open = [port](const std::string&, DWORD) -> std::shared_ptr<orbis::platform::IoObject> {
        return std::make_shared<Device>(port);
    };
    orbis::platform::RegisterDeviceOverride(device);
    return port;
}

void FakeParallelPort::Feed(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Data, bytes});
}

void FakeParallelPort::FeedEmpty(int reads) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < reads; ++i)
        steps_.push_back({Step::Empty, {}});
}

void FakeParallelPort::FeedFailure(DWORD error, int reads) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < reads; ++i)
        steps_.push_back({Step::Fail, {}, 0, error});
}

void FakeParallelPort::FeedDeath() {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Death, {}});
}

void FakeParallelPort::FeedPause(DWORD ms) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Pause, {}, 0, ms});
}

void FakeParallelPort::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void FakeParallelPort::Kill() {
    std::lock_guard lock(mutex_);
    dead_ = true;
}

void FakeParallelPort::SetWriteFails(bool fails) {
    std::lock_guard lock(mutex_);
    writeFails_ = fails;
}

void FakeParallelPort::SetDeviceIdFails(bool fails) {
    std::lock_guard lock(mutex_);
    deviceIdFails_ = fails;
}

void FakeParallelPort::SetDeviceId(const std::string& id) {
    std::lock_guard lock(mutex_);
    deviceId_ = id;
}

std::vector<Bytes> FakeParallelPort::Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
}

Bytes FakeParallelPort::Written() {
    Bytes all;
    for (const auto& write : Writes())
        all.insert(all.end(), write.begin(), write.end());
    return all;
}

std::vector<COMMTIMEOUTS> FakeParallelPort::TimeoutsSet() {
    std::lock_guard lock(mutex_);
    return timeoutsSet_;
}

void FakeParallelPort::Opened(int delta) {
    std::lock_guard lock(mutex_);
    openHandles_ += delta;
}

int FakeParallelPort::OpenHandles() {
    std::lock_guard lock(mutex_);
    return openHandles_;
}

int FakeParallelPort::Reads() {
    std::lock_guard lock(mutex_);
    return reads_;
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
            // Silence: the read time-out (kept short so tests stay quick) expires.
            DWORD wait = std::min<DWORD>(timeouts_.ReadTotalTimeoutConstant, 30);
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            return true;
        }
        Step& step = steps_.front();
        switch (step.kind) {
        case Step::Death:
            dead_ = true;
            steps_.pop_front();
            continue;
        case Step::Empty:
            steps_.pop_front();
            return true;
        case Step::Fail:
            *error = step.value;
            steps_.pop_front();
            return false;
        case Step::Pause: {
            DWORD ms = step.value;
            steps_.pop_front();
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            lock.lock();
            continue;
        }
        case Step::Data: {
            size_t n = std::min<size_t>(count, step.bytes.size() - step.offset);
            std::memcpy(buffer, step.bytes.data() + step.offset, n);
            step.offset += n;
            if (step.offset == step.bytes.size()) steps_.pop_front();
            *got = static_cast<DWORD>(n);
            return true;
        }
        }
    }
}

bool FakeParallelPort::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    Responder responder;
    Bytes bytes(static_cast<const unsigned char*>(buffer), static_cast<const unsigned char*>(buffer) + count);
    {
        std::lock_guard lock(mutex_);
        if (dead_ || writeFails_) {
            *written = 0;
            *error = ERROR_WRITE_FAULT;
            return false;
        }
        writes_.push_back(bytes);
        responder = responder_;
    }
    *written = count;
    if (responder) responder(bytes, *this);
    return true;
}

bool FakeParallelPort::Ioctl(DWORD code, void* out, DWORD outSize, DWORD* returned, DWORD* error) {
    std::lock_guard lock(mutex_);
    *returned = 0;
    if (code != 0x11 || deviceIdFails_ || dead_) {
        *error = ERROR_GEN_FAILURE;
        return false;
    }
    DWORD n = std::min<DWORD>(outSize, static_cast<DWORD>(deviceId_.size()));
    std::memcpy(out, deviceId_.data(), n);
    *returned = n;
    return true;
}

bool FakeParallelPort::GetTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard lock(mutex_);
    *timeouts = timeouts_;
    return true;
}

void FakeParallelPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    timeoutsSet_.push_back(timeouts);
}

Bytes Packet(uint8_t flags, uint8_t command, const Bytes& data) {
    size_t length = data.size() + 2;
    Bytes packet = {0xA5, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length & 0xFF),
                    flags, command};
    packet.insert(packet.end(), data.begin(), data.end());
    return packet;
}

Bytes Repeat(size_t count, unsigned char value) {
    return Bytes(count, value);
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace partest
