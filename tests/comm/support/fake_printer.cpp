#include "fake_printer.h"

#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace commtest {

std::string DevicePath(const std::string& serial) {
    return "\\\\?\\usb#vid_0a5f&pid_0042#" + serial + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

std::shared_ptr<FakePrinter> FakePrinter::Attach(const std::string& name, const std::string& deviceId,
                                                 bool usb) {
    auto printer = std::make_shared<FakePrinter>();
    printer->deviceId_ = deviceId;
    printer->usb_ = usb;
    // Every handle is the printer itself; closing one is counted.
    auto open = [printer](const std::string& pipe, DWORD) -> std::shared_ptr<orbis::platform::IoObject> {
        std::lock_guard lock(printer->mutex_);
        ++printer->opens_[pipe];
        if (!pipe.empty() && !printer->pipesOpen) return nullptr;
        ++printer->handles_[pipe];
        return std::shared_ptr<FakePrinter>(printer.get(), [printer, pipe](FakePrinter*) {
            std::lock_guard lock(printer->mutex_);
            --printer->handles_[pipe];
        });
    };
    orbis::platform::RegisterDeviceOverride({name, usb, deviceId, open});
    return printer;
}

std::vector<Bytes> FakePrinter::Commands() {
    std::vector<Bytes> commands;
    for (const auto& write : Writes())
        if (write != kStart) commands.push_back(write);
    return commands;
}

bool FakePrinter::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    *got = 0;
    std::unique_lock lock(mutex_);
    ++reads_;
    const uint64_t cancels = cancels_;
    auto ready = [&] { return !steps_.empty() || cancels_ != cancels; };
    for (;;) {
        *error = dead_ ? ERROR_DEVICE_NOT_CONNECTED : cancels_ != cancels ? ERROR_OPERATION_ABORTED : 0;
        if (*error) return false;
        if (steps_.empty()) {
            DWORD total = timeouts_.ReadTotalTimeoutMultiplier * count + timeouts_.ReadTotalTimeoutConstant;
            if (!usb_ && total == 0 && timeouts_.ReadIntervalTimeout == 0xFFFFFFFFu) return true; // at once
            ++blocked_;
            changed_.notify_all();
            bool woken = usb_ ? (changed_.wait(lock, ready), true)
                              : changed_.wait_for(lock, std::chrono::milliseconds(total), ready);
            --blocked_;
            if (!woken) return true;
            continue;
        }
        Step& step = steps_.front();
        if (!step.pauseMs && !step.error) {
            *got = DWORD(std::min<size_t>(count, step.bytes.size() - step.offset));
            if (*got) std::memcpy(buffer, step.bytes.data() + step.offset, *got);
            step.offset += *got;
            if (step.offset == step.bytes.size()) steps_.pop_front();
            return true;
        }
        Step taken = step;
        steps_.pop_front();
        dead_ = taken.death;
        *error = taken.error;
        if (*error) return false;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(taken.pauseMs));
        lock.lock();
    }
}

bool FakePrinter::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    auto bytes = static_cast<const unsigned char*>(buffer);
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        *written = 0;
        *error = ERROR_WRITE_FAULT;
        if (dead_ || writeFails) return false;
        writes_.emplace_back(bytes, bytes + count);
        writeTimes_.push_back(Clock::now());
        if (writes_.back() != kStart) responder = responder_;
    }
    *written = count;
    if (responder) responder(Bytes(bytes, bytes + count), *this);
    return true;
}

bool FakePrinter::Ioctl(DWORD code, const void*, DWORD, void* out, DWORD outSize, DWORD* returned,
                        DWORD* error) {
    std::lock_guard lock(mutex_);
    *returned = 0;
    *error = usb_ ? ERROR_INVALID_FUNCTION : ERROR_GEN_FAILURE;           // USB: the platform answers
    if (usb_ || code != 0x11 || deviceId_.empty() || dead_) return false; // 0x11: the 1284 device ID
    *returned = std::min<DWORD>(outSize, DWORD(deviceId_.size()));
    std::memcpy(out, deviceId_.data(), *returned);
    return true;
}

std::shared_ptr<FakePrinter> OpenLpt1(int mode) {
    auto port = FakePrinter::Attach("LPT1", mode == NPA_ON ? "MFG:Vantrel;" : "MFG:X;CMD:VNPAP;");
    port->SetResponder([](const Bytes& written, FakePrinter& self) {
        if (written.size() == 39) self.Feed({0xA5, 0x00, 0x02, 0x80, 0x00}); // the inquiry: NPA answers
    });
    EXPECT_EQ(DvcOpenPort("LPT1"), DVC_OK);
    EXPECT_EQ(G_NpaMode, mode);
    port->SetResponder(nullptr);
    return port;
}

std::shared_ptr<FakePrinter> OpenUsb(const std::string& serial, DWORD number, const char* port) {
    auto printer = FakePrinter::Attach(DevicePath(serial), "MFG:Vantrel;CMD:VNPAP;MODEL:Laser 10;", true);
    AddPrinterInterface(DevicePath(serial), number, 1, "USB\\VID_0A5F&PID_0042\\" + serial);
    EXPECT_EQ(DvcOpenPort(port), DVC_OK);
    return printer;
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
