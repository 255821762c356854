#include "engine_device.h"

#include "io_object.h"
#include "orbis_platform.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace orbis::sim {

namespace {

using Clock = std::chrono::steady_clock;

// Output of one device, and the wake-up of readers waiting for it.
struct Outbox {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Bytes> pieces;
    std::vector<size_t> sizes;
    size_t next = 0;

    void Put(const std::vector<Bytes>& units) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& unit : units) {
            for (size_t at = 0; at < unit.size();) {
                size_t n = sizes.empty() ? unit.size() : std::max<size_t>(1, sizes[next++ % sizes.size()]);
                n = std::min(n, unit.size() - at);
                pieces.emplace_back(unit.begin() + (ptrdiff_t)at, unit.begin() + (ptrdiff_t)(at + n));
                at += n;
            }
        }
        ready.notify_all();
    }
};

class EnginePort : public platform::IoObject {
  public:
    enum class Kind { Parallel, UsbWrite, UsbRead, UsbControl };
    EnginePort(std::shared_ptr<Engine> engine, std::shared_ptr<Outbox> outbox, Kind kind)
        : engine_(std::move(engine)),
          outbox_(kind == Kind::Parallel ? std::make_shared<Outbox>() : std::move(outbox)), kind_(kind) {}

    bool Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) override {
        *written = 0;
        if (kind_ == Kind::UsbRead || kind_ == Kind::UsbControl) {
            *error = ERROR_INVALID_FUNCTION;
            return false;
        }
        auto* bytes = static_cast<const uint8_t*>(buffer);
        std::vector<Bytes> units;
        {
            std::lock_guard<std::mutex> lock(channelMutex_);
            units = engine_->Feed(channel_, bytes, count);
        }
        outbox_->Put(units);
        *written = count;
        return true;
    }

    bool Read(void* buffer, DWORD count, DWORD* got, DWORD* error) override {
        *got = 0;
        if (kind_ == Kind::UsbWrite || kind_ == Kind::UsbControl) {
            *error = ERROR_INVALID_FUNCTION;
            return false;
        }
        auto* out = static_cast<uint8_t*>(buffer);
        std::unique_lock<std::mutex> lock(outbox_->mutex);
        uint64_t generation = cancels_;
        COMMTIMEOUTS t = timeouts_;
        int64_t total = (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant)
                            ? int64_t(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant
                            : -1;
        auto start = Clock::now();
        for (;;) {
            if (cancels_ != generation) {
                *error = ERROR_OPERATION_ABORTED;
                return false;
            }
            auto& pieces = outbox_->pieces;
            if (kind_ == Kind::UsbRead && !pieces.empty()) { // one piece at most
                Bytes& front = pieces.front();
                size_t n = std::min<size_t>(count, front.size());
                std::copy_n(front.begin(), n, out);
                front.erase(front.begin(), front.begin() + (ptrdiff_t)n);
                if (front.empty()) pieces.pop_front();
                *got = DWORD(n);
                return true;
            }
            while (kind_ == Kind::Parallel && !pieces.empty() && *got < count) {
                Bytes& front = pieces.front();
                size_t n = std::min<size_t>(count - *got, front.size());
                std::copy_n(front.begin(), n, out + *got);
                front.erase(front.begin(), front.begin() + (ptrdiff_t)n);
                if (front.empty()) pieces.pop_front();
                *got += DWORD(n);
            }
            if (*got == count) return true;
            if (kind_ == Kind::Parallel && *got > 0 && t.ReadIntervalTimeout)
                return true; // the rest is not coming yet
            if (kind_ == Kind::UsbRead || total < 0) {
                outbox_->ready.wait(lock);
            } else {
                auto deadline = start + std::chrono::milliseconds(total);
                if (Clock::now() >= deadline) return true;
                outbox_->ready.wait_until(lock, deadline);
            }
        }
    }

    bool GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) override {
        if (kind_ != Kind::Parallel) return platform::IoObject::GetTimeouts(timeouts, error);
        std::lock_guard<std::mutex> lock(outbox_->mutex);
        *timeouts = timeouts_;
        return true;
    }
    bool SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) override {
        if (kind_ != Kind::Parallel) return platform::IoObject::SetTimeouts(timeouts, error);
        std::lock_guard<std::mutex> lock(outbox_->mutex);
        timeouts_ = timeouts;
        return true;
    }
    void Cancel() override {
        std::lock_guard<std::mutex> lock(outbox_->mutex);
        ++cancels_;
        outbox_->ready.notify_all();
    }

  private:
    std::shared_ptr<Engine> engine_;
    std::shared_ptr<Outbox> outbox_;
    Kind kind_;
    std::mutex channelMutex_;
    Channel channel_;
    COMMTIMEOUTS timeouts_ = {0, 0, 1000, 0, 0}; // under outbox_->mutex, as a port that was never set
    uint64_t cancels_ = 0;                       // under outbox_->mutex
};

} // namespace

void RegisterEngineDevice(std::shared_ptr<Engine> engine, const std::string& name, bool usb,
                          std::vector<size_t> pieces) {
    auto outbox = std::make_shared<Outbox>();
    outbox->sizes = std::move(pieces);
    platform::DeviceOverride device;
    device.name = name;
    device.usb = usb;
    device.deviceId = engine->DeviceId();
    device.open = [engine, outbox, usb](const std::string& pipe,
                                        DWORD) -> std::shared_ptr<platform::IoObject> {
        if (!usb && !pipe.empty()) return nullptr;
        EnginePort::Kind kind = EnginePort::Kind::Parallel;
        if (usb)
            kind = pipe == "PIPE00"   ? EnginePort::Kind::UsbWrite
                   : pipe == "PIPE01" ? EnginePort::Kind::UsbRead
                                      : EnginePort::Kind::UsbControl;
        return std::make_shared<EnginePort>(engine, outbox, kind);
    };
    platform::RegisterDeviceOverride(std::move(device));
}

} // namespace orbis::sim
