// Device URIs of CUPS queues turned into spooler ports.
#include "cups_printers_port.h"

#include "paths.h"

#include <cctype>
#include <cstdlib>

namespace orbis::platform {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && UpperAscii(text.substr(0, prefix.size())) == UpperAscii(prefix);
}

// The K of "<prefix>K" (decimal, nothing after it), or -1.
int NumberAfter(const std::string& text, const std::string& prefix) {
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) return -1;
    std::string digits = text.substr(prefix.size());
    if (digits.size() > 3) return -1;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    return std::atoi(digits.c_str());
}

CupsPortTarget Parallel(std::string path) {
    CupsPortTarget target;
    // "parallel:///dev/lp0" is the same place as "parallel:/dev/lp0".
    if (path.rfind("//", 0) == 0) path.erase(0, 2);
    int k = NumberAfter(path, "/dev/lp");
    if (k < 0) k = NumberAfter(path, "/dev/parport");
    if (k < 0) return target;
    target.kind = CupsPortTarget::kParallel;
    target.lptNumber = k + 1;
    return target;
}

CupsPortTarget Usb(const std::string& rest, const std::vector<KernelUsbPrinter>& usb) {
    CupsPortTarget target;
    size_t question = rest.find('?');
    std::string path = rest.substr(0, question);
    size_t slash = path.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= path.size()) return target;
    std::string makeModel = UriDecode(path.substr(0, slash)) + "/" + UriDecode(path.substr(slash + 1));

    std::string serial;
    if (question != std::string::npos) {
        std::string query = rest.substr(question + 1);
        size_t start = 0;
        while (start <= query.size()) {
            size_t end = query.find('&', start);
            if (end == std::string::npos) end = query.size();
            std::string item = query.substr(start, end - start);
            if (item.rfind("serial=", 0) == 0) serial = UriDecode(item.substr(7));
            if (serial == "?") serial.clear(); // what older backends wrote for "unknown"
            start = end + 1;
        }
    }
    target.kind = CupsPortTarget::kUsb;
    target.usbKey = serial.empty() ? makeModel : serial;
    if (!serial.empty()) return target;

    // Without a serial in the URI, a lone present printer of that make and model is this queue's.
    const KernelUsbPrinter* match = nullptr;
    int matches = 0;
    for (const auto& printer : usb) {
        if (CupsUsbNameOf(printer.deviceId, printer.serial).makeModel == makeModel) {
            match = &printer;
            ++matches;
        }
    }
    if (matches == 1 && !match->portKey.empty()) target.usbKey = match->portKey;
    return target;
}

} // namespace

std::string UriDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int high = -1, low = -1;
        if (text[i] == '%' && i + 2 < text.size()) {
            high = HexDigit(text[i + 1]);
            low = HexDigit(text[i + 2]);
        }
        if (high >= 0 && low >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The old character-device backend's "usb:/dev/usb/lpN": the printer on that node now.
CupsPortTarget UsbNode(const std::string& path, const std::vector<KernelUsbPrinter>& usb) {
    CupsPortTarget target;
    int n = NumberAfter(path, "/dev/usb/lp");
    if (n < 0) return target;
    std::string tail = "/usb/lp" + std::to_string(n);
    for (const auto& printer : usb) {
        if (printer.node.size() >= tail.size() &&
            printer.node.compare(printer.node.size() - tail.size(), tail.size(), tail) == 0) {
            target.kind = CupsPortTarget::kUsb;
            target.usbKey = printer.portKey;
        }
    }
    return target;
}

CupsPortTarget CupsPortOf(const std::string& deviceUri, const std::vector<KernelUsbPrinter>& usb) {
    if (StartsWithNoCase(deviceUri, "parallel:")) return Parallel(deviceUri.substr(9));
    if (StartsWithNoCase(deviceUri, "usb:/dev/")) return UsbNode(deviceUri.substr(4), usb);
    if (StartsWithNoCase(deviceUri, "usb://")) return Usb(deviceUri.substr(6), usb);
    return CupsPortTarget();
}

} // namespace orbis::platform
