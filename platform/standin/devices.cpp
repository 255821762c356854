// Device names: in-process test devices first, then the printer ports that
// printer processes serve under <root>/dev.
#include "devices.h"

#include "device_socket.h"
#include "device_table.h"
#include "device_wire.h"
#include "host_devices.h"

#include <cctype>
#include <cstdlib>

namespace orbis::platform {

namespace {

constexpr DWORD kIoctlParallelDeviceId = 0x11;
constexpr DWORD kIoctlUsbDeviceId = 0x00220034;

// An in-process device whose own object may leave the device-ID request to the
// registration's deviceId text.
class OverrideDevice : public IoObject {
  public:
    OverrideDevice(std::shared_ptr<IoObject> inner, std::string deviceId, bool usb)
        : inner_(std::move(inner)), deviceId_(std::move(deviceId)), usb_(usb) {}
    bool Read(void* b, DWORD c, DWORD* g, DWORD* e) override { return inner_->Read(b, c, g, e); }
    bool StartRead(const std::shared_ptr<ReadRequest>& r) override { return inner_->StartRead(r); }
    bool Write(const void* b, DWORD c, DWORD* w, DWORD* e) override { return inner_->Write(b, c, w, e); }
    bool GetTimeouts(COMMTIMEOUTS* t, DWORD* e) override { return inner_->GetTimeouts(t, e); }
    bool SetTimeouts(const COMMTIMEOUTS& t, DWORD* e) override { return inner_->SetTimeouts(t, e); }
    void Cancel() override { inner_->Cancel(); }
    bool Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
               DWORD* error) override {
        if (inner_->Ioctl(code, in, inSize, out, outSize, returned, error)) return true;
        if (*error != ERROR_INVALID_FUNCTION || deviceId_.empty()) return false;
        if (code != (usb_ ? kIoctlUsbDeviceId : kIoctlParallelDeviceId)) return false;
        std::string reply;
        if (usb_) {
            size_t length = deviceId_.size() + 2;
            reply.push_back((char)(uint8_t)(length >> 8));
            reply.push_back((char)(uint8_t)length);
        }
        reply += deviceId_;
        if (!out || outSize < reply.size()) {
            *error = ERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        std::copy(reply.begin(), reply.end(), static_cast<char*>(out));
        *returned = (DWORD)reply.size();
        return true;
    }

  private:
    std::shared_ptr<IoObject> inner_;
    std::string deviceId_;
    bool usb_;
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsLptName(const std::string& name) {
    return name.size() >= 4 && StartsWithNoCase(name, "LPT") && std::isdigit((unsigned char)name[3]);
}

} // namespace

bool IsDeviceName(const std::string& name) {
    if (name.rfind("\\\\?\\", 0) == 0 || name.rfind("\\\\.\\", 0) == 0) return true;
    if (name.size() < 4) return false;
    if (std::toupper((unsigned char)name[0]) != 'L' || std::toupper((unsigned char)name[1]) != 'P' ||
        std::toupper((unsigned char)name[2]) != 'T')
        return false;
    size_t i = 3;
    while (i < name.size() && std::isdigit((unsigned char)name[i]))
        ++i;
    if (i == 3) return false;
    return i == name.size() || (i + 1 == name.size() && name[i] == ':');
}

std::shared_ptr<IoObject> OpenDevice(const std::string& name, DWORD access, DWORD* error) {
    for (const auto& device : DeviceOverrides()) {
        std::string pipe;
        if (EqualsNoCase(name, device.name)) {
            pipe.clear();
        } else if (name.size() > device.name.size() && StartsWithNoCase(name, device.name) &&
                   name[device.name.size()] == '\\') {
            pipe = name.substr(device.name.size() + 1);
        } else {
            continue;
        }
        auto object = device.open(pipe, access);
        if (!object) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        return std::make_shared<OverrideDevice>(std::move(object), device.deviceId, device.usb);
    }

    // A simulated printer on a port hides a host device of the same name: it was started on purpose.
    HostSources sources = CurrentHostSources();
    if (IsLptName(name)) {
        std::string port = name;
        if (port.back() == ':') port.pop_back();
        for (auto& c : port)
            c = (char)std::toupper((unsigned char)c);
        if (std::string root = Root(); sources.simulated && !root.empty()) {
            auto device = SocketDevice::Open(wire::DeviceDir(root) + "/" + port, SocketDevice::Kind::Parallel,
                                             access, error);
            if (device || !sources.kernel) return device;
        }
        if (sources.kernel) return OpenHostParallel(sources, std::atoi(port.c_str() + 3), access, error);
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }

    std::string base = name;
    SocketDevice::Kind kind = SocketDevice::Kind::UsbControl;
    size_t slash = name.rfind('\\');
    if (slash != std::string::npos && slash > 4) {
        std::string last = name.substr(slash + 1);
        if (EqualsNoCase(last, "PIPE00"))
            kind = SocketDevice::Kind::UsbWrite;
        else if (EqualsNoCase(last, "PIPE01"))
            kind = SocketDevice::Kind::UsbRead;
        if (kind != SocketDevice::Kind::UsbControl || EqualsNoCase(last, "CTLPIPE"))
            base = name.substr(0, slash);
    }
    if (sources.simulated)
        for (const auto& device : PresentDevices()) {
            if (device.kind == "lpt") continue;
            for (const auto& path : device.paths)
                if (EqualsNoCase(path, base)) return SocketDevice::Open(device.socket, kind, access, error);
        }
    if (sources.kernel) return OpenKernelUsb(sources, name, access, error);
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

} // namespace orbis::platform
