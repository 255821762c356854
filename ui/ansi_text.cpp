#include "ansi_text.h"

#include "win32.h"

#include <vector>

namespace {

const WCHAR* Units(const QString& text) {
    return reinterpret_cast<const WCHAR*>(text.utf16());
}

// The ANSI bytes of `text` and whether the code page's default character stood in.
int Encode(const QString& text, std::string* bytes, bool& replaced) {
    replaced = false;
    if (text.isEmpty()) {
        if (bytes) bytes->clear();
        return 0;
    }
    BOOL used = FALSE;
    int size = WideCharToMultiByte(CP_ACP, 0, Units(text), int(text.size()), nullptr, 0, nullptr, &used);
    replaced = used != FALSE;
    if (bytes && size > 0) {
        bytes->assign(size_t(size), '\0');
        WideCharToMultiByte(CP_ACP, 0, Units(text), int(text.size()), bytes->data(), size, nullptr, nullptr);
    }
    return size;
}

} // namespace

QString FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return QString();
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::vector<WCHAR> wide(size_t(size > 0 ? size : 0));
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), wide.data(), size);
    return QString::fromUtf16(wide.data(), qsizetype(wide.size()));
}

bool ToAnsi(const QString& text, std::string& bytes) {
    std::string converted;
    bool replaced = false;
    Encode(text, &converted, replaced);
    if (replaced) return false;
    bytes = std::move(converted);
    return true;
}

int AnsiLength(const QString& text) {
    bool replaced = false;
    return Encode(text, nullptr, replaced);
}

int FirstUnrepresentable(const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        bool replaced = false;
        Encode(text.mid(i, n), nullptr, replaced);
        if (replaced) return int(i);
        i += n;
    }
    return -1;
}
