// Device names: in-process test devices first, then the registered sources
// (the simulated ports, then the host's own devices).
#include "devices.h"

#include "device_sources.h"

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

    // The first source that takes the name answers: a simulated printer on a port
    // hides a host device of the same name (it was started on purpose).
    std::string port = name;
    if (IsLptName(port)) {
        if (port.back() == ':') port.pop_back();
        for (auto& c : port)
            c = (char)std::toupper((unsigned char)c);
    }
    HostSources sources = CurrentHostSources();
    *error = ERROR_FILE_NOT_FOUND;
    for (const DeviceSource* source : DeviceSources()) {
        std::shared_ptr<IoObject> object;
        if (source->open(sources, port, access, &object, error)) return object;
    }
    return nullptr;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return true;
}

std::string InterfaceClassOfPath(const std::string& path) {
    size_t open = path.rfind('{');
    if (open == std::string::npos || path.back() != '}') return "";
    std::string guid = path.substr(open);
    for (auto& c : guid)
        c = (char)std::tolower((unsigned char)c);
    return guid;
}

} // namespace orbis::platform
