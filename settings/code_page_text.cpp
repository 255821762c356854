#include "code_page_text.h"

std::vector<WCHAR> WideText(UINT codePage, DWORD flags, const std::string& bytes) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    std::vector<WCHAR> wide(size_t(n > 0 ? n : 0));
    if (n > 0) MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), wide.data(), n);
    return wide;
}

std::string NarrowText(UINT codePage, const WCHAR* wide, size_t count, BOOL* usedDefault) {
    if (count == 0) return {};
    int n = WideCharToMultiByte(codePage, 0, wide, int(count), nullptr, 0, nullptr, usedDefault);
    std::string bytes(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, wide, int(count), bytes.data(), n, nullptr, nullptr);
    return bytes;
}
