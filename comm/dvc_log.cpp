// The diagnostic log "C:\VanDvc32.log". Every line is appended by its own
// open, write and close, so the file is complete up to the last line even when
// the program dies, and any thread may log without a lock.
#include "dvc_internal.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static const char kLogPath[] = "C:\\VanDvc32.log";

void DvcLog(uint32_t level, const char* format, ...) {
    if ((G_LoggingLevel & level) == 0) return;

    char timeText[16] = "";
    _strtime(timeText);
    char ticks[16];
    std::snprintf(ticks, sizeof ticks, "%ld", static_cast<long>(GetTickCount()));

    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    FILE* log = WinFopen(kLogPath, "a");
    if (!log) return; // an unwritable log must never disturb the printer traffic
    std::fprintf(log, "%s %s: %s\n", timeText, ticks, message);
    std::fflush(log);
    std::fclose(log);
}

void DvcLogErrorText(uint32_t level, DWORD error) {
    if ((G_LoggingLevel & level) == 0) return;
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = '\0';
    if (length > 0) DvcLog(level, "    %s\n", text);
}

void DvcLogHex(const unsigned char* buffer, uint16_t length) {
    // Dumps follow any logging at all, not only bit 0x10; DvcLog then filters.
    if (G_LoggingLevel == 0) return;
    if (!buffer) length = 0;

    static const int kPerLine = 16;
    for (int start = 0; start < length; start += kPerLine) {
        int run = length - start < kPerLine ? length - start : kPerLine;
        // 16 hex columns of 3, " | ", one text column per byte: 67 characters
        // for a full run. A short run keeps the hex columns blank-filled, so the
        // " | " lines up, and its text ends with its last byte.
        char line[68];
        char* p = line;
        for (int i = 0; i < kPerLine; ++i) {
            if (i < run)
                std::snprintf(p, 4, "%02X ", buffer[start + i]);
            else
                std::memcpy(p, "   ", 3);
            p += 3;
        }
        std::memcpy(p, " | ", 3);
        p += 3;
        for (int i = 0; i < run; ++i) {
            unsigned char c = buffer[start + i];
            *p++ = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
        }
        *p = '\0';
        DvcLog(DVC_LOG_HEX, "%s", line);
    }
    DvcLog(DVC_LOG_HEX, "%s", "");
}
