#include "usb_fake_printer.h"

#include "orbis_platform.h"
#include "platform/standin/io_object.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace commtest {

namespace {

// One open pipe: "PIPE00" writes, "PIPE01" reads; the bare device path (no
// printer) only takes the device-ID request, which the platform answers.
class Pipe : public orbis::platform::IoObject {
  public:
    enum Kind { Control, Writes, Reads };
    Pipe(std::shared_ptr<FakeUsbPrinter> printer, Kind kind) : printer_(std::move(printer)), kind_(kind) {}
    ~Pipe() override {
        if (kind_ == Reads) printer_->ReadPipeClosed();
    }
    bool Read(void* b, DWORD c, DWORD* g, DWORD* e) override {
        if (kind_ == Reads) return printer_->Read(b, c, g, e);
        *e = ERROR_ACCESS_DENIED;
        return false;
    }
    bool Write(const void* b, DWORD c, DWORD* w, DWORD* e) override {
        if (kind_ == Writes) return printer_->Write(b, c, w, e);
        *e = ERROR_ACCESS_DENIED;
        return false;
    }
    void Cancel() override {
        if (kind_ == Reads) printer_->Cancel();
    }

  private:
    std::shared_ptr<FakeUsbPrinter> printer_;
    Kind kind_;
};

void SetValue(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    char noClass[1] = "";
    std::string path =
        "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\" + key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &handle, &disposition) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + path);
    RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
}

} // namespace

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
        std::lock_guard lock(self->mutex_);
        if (pipe == "PIPE00") {
            ++self->writeOpens_;
            if (!self->writeOpens_ok_) return nullptr;
            return std::make_shared<Pipe>(self, Pipe::Writes);
        }
        if (pipe == "PIPE01") {
            ++self->readOpens_;
            if (!self->readOpens_ok_) return nullptr;
            ++self->openReads_;
            return std::make_shared<Pipe>(self, Pipe::Reads);
        }
        if (pipe.empty()) return std::make_shared<Pipe>(nullptr, Pipe::Control);
        return nullptr;
    };
    orbis::platform::RegisterDeviceOverride(device);
    return printer;
}

void FakeUsbPrinter::QueueAll(const std::vector<Bytes>& pieces) {
    std::lock_guard lock(mutex_);
    for (const auto& piece : pieces)
        items_.push_back({piece, 0});
    changed_.notify_all();
}

void FakeUsbPrinter::QueueFailure(DWORD error) {
    std::lock_guard lock(mutex_);
    items_.push_back({{}, error});
    changed_.notify_all();
}

void FakeUsbPrinter::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void FakeUsbPrinter::SetPipeOpens(bool writePipe, bool readPipe) {
    std::lock_guard lock(mutex_);
    writeOpens_ok_ = writePipe;
    readOpens_ok_ = readPipe;
}

bool FakeUsbPrinter::WaitForBlockedRead(int ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return blocked_ > 0; });
}

bool FakeUsbPrinter::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    std::unique_lock lock(mutex_);
    uint64_t cancels = cancels_;
    ++blocked_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !items_.empty() || cancels_ != cancels; });
    --blocked_;
    if (cancels_ != cancels) {
        *error = ERROR_OPERATION_ABORTED;
        return false;
    }
    Item& item = items_.front();
    if (item.error) {
        *error = item.error;
        items_.pop_front();
        return false;
    }
    DWORD take = std::min<DWORD>(count, DWORD(item.bytes.size()));
    std::copy(item.bytes.begin(), item.bytes.begin() + take, static_cast<unsigned char*>(buffer));
    item.bytes.erase(item.bytes.begin(), item.bytes.begin() + take);
    if (item.bytes.empty()) items_.pop_front();
    *got = take;
    return true;
}

bool FakeUsbPrinter::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
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

void FakeUsbPrinter::Cancel() {
    std::lock_guard lock(mutex_);
    ++cancels_;
    changed_.notify_all();
}

void FakeUsbPrinter::ReadPipeClosed() {
    std::lock_guard lock(mutex_);
    --openReads_;
}

void AddPrinterInterface(const std::string& symbolicLink, DWORD portNumber, DWORD linked,
                         const std::string& deviceInstance) {
    std::string key = symbolicLink;
    std::replace(key.begin(), key.end(), '\\', '#');
    SetValue(key, "DeviceInstance", REG_SZ, deviceInstance.c_str(), DWORD(deviceInstance.size() + 1));
    SetValue(key + "\\#\\Device Parameters", "Port Number", REG_DWORD, &portNumber, sizeof portNumber);
    SetValue(key + "\\#\\Control", "Linked", REG_DWORD, &linked, sizeof linked);
    SetValue(key + "\\#", "SymbolicLink", REG_SZ, symbolicLink.c_str(), DWORD(symbolicLink.size() + 1));
}

} // namespace commtest
