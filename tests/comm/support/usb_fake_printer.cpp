#include "usb_fake_printer.h"

#include "orbis_platform.h"
#include "platform/standin/io_object.h"

namespace commtest {

// One open pipe: "PIPE00" writes, "PIPE01" reads; the bare device path (no
// printer) only takes the device-ID request, which the platform answers.
class Pipe : public orbis::platform::IoObject {
  public:
    enum Kind { Control, Writes, Reads };
    Pipe(std::shared_ptr<FakeUsbPrinter> printer, Kind kind) : printer_(std::move(printer)), kind_(kind) {}
    ~Pipe() override {
        if (kind_ != Reads) return;
        std::lock_guard lock(printer_->mutex_);
        --printer_->openReads_;
    }
    bool Read(void* b, DWORD c, DWORD* g, DWORD* e) override {
        *e = ERROR_ACCESS_DENIED;
        return kind_ == Reads && printer_->Read(b, c, g, e);
    }
    bool Write(const void* b, DWORD c, DWORD* w, DWORD* e) override {
        *e = ERROR_ACCESS_DENIED;
        return kind_ == Writes && printer_->Write(b, c, w);
    }
    void Cancel() override {
        if (kind_ == Reads) printer_->Cancel();
    }

  private:
    std::shared_ptr<FakeUsbPrinter> printer_;
    Kind kind_;
};

std::string DevicePath(const std::string& serial) {
    return "\\\\?\\usb#vid_0a5f&pid_0042#" + serial + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

std::shared_ptr<FakeUsbPrinter> FakeUsbPrinter::Attach(const std::string& devicePath,
                                                       const std::string& deviceId) {
    auto printer = std::make_shared<FakeUsbPrinter>();
    orbis::platform::DeviceOverride device;
    device.name = devicePath;
    device.usb = true;
    device.deviceId = deviceId;
    std::weak_ptr<FakeUsbPrinter> weak = printer;
    device.open = [weak](const std::string& pipe, DWORD) -> std::shared_ptr<orbis::platform::IoObject> {
        auto self = weak.lock();
        if (!self) return nullptr;
        if (pipe.empty()) return std::make_shared<Pipe>(nullptr, Pipe::Control);
        std::lock_guard lock(self->mutex_);
        if (pipe == "PIPE00" && ++self->writeOpens_ && self->writeOk_)
            return std::make_shared<Pipe>(self, Pipe::Writes);
        if (pipe == "PIPE01" && ++self->readOpens_ && self->readOk_ && ++self->openReads_)
            return std::make_shared<Pipe>(self, Pipe::Reads);
        return nullptr;
    };
    orbis::platform::RegisterDeviceOverride(device);
    return printer;
}

bool FakeUsbPrinter::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    std::unique_lock lock(mutex_);
    uint64_t cancels = cancels_;
    ++blocked_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !items_.empty() || cancels_ != cancels; });
    --blocked_;
    *error = cancels_ != cancels ? ERROR_OPERATION_ABORTED : items_.front().error;
    if (*error) {
        if (cancels_ == cancels) items_.pop_front();
        return false;
    }
    Bytes& bytes = items_.front().bytes;
    *got = std::min<DWORD>(count, DWORD(bytes.size()));
    std::copy(bytes.begin(), bytes.begin() + *got, static_cast<unsigned char*>(buffer));
    bytes.erase(bytes.begin(), bytes.begin() + *got);
    if (bytes.empty()) items_.pop_front();
    return true;
}

bool FakeUsbPrinter::Write(const void* buffer, DWORD count, DWORD* written) {
    auto bytes = static_cast<const unsigned char*>(buffer);
    Bytes command(bytes, bytes + count);
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        if (command == kStart) {
            ++starts_;
        } else {
            commands_.push_back(command);
            responder = responder_;
        }
    }
    *written = count;
    if (responder) responder(command, *this);
    return true;
}

void AddPrinterInterface(const std::string& symbolicLink, DWORD portNumber, DWORD linked,
                         const std::string& deviceInstance) {
    std::string key = symbolicLink;
    std::replace(key.begin(), key.end(), '\\', '#');
    key = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\" + key;
    SetMachineValue(key, "DeviceInstance", REG_SZ, deviceInstance.c_str(), DWORD(deviceInstance.size() + 1));
    SetMachineValue(key + "\\#\\Device Parameters", "Port Number", REG_DWORD, &portNumber, sizeof portNumber);
    SetMachineValue(key + "\\#\\Control", "Linked", REG_DWORD, &linked, sizeof linked);
    SetMachineValue(key + "\\#", "SymbolicLink", REG_SZ, symbolicLink.c_str(),
                    DWORD(symbolicLink.size() + 1));
}

} // namespace commtest
