// Conversions between code page 949 (what the printer and command files hold),
// UTF-8 (what profiles and the terminal hold) and UTF-16, over the platform's
// MultiByteToWideChar / WideCharToMultiByte.
#pragma once
#include "win32.h"

#include <string>
#include <vector>

// `bytes` of `codePage` as UTF-16; empty when the conversion fails (with MB_ERR_INVALID_CHARS).
std::vector<WCHAR> WideText(UINT codePage, DWORD flags, const std::string& bytes);
// `count` UTF-16 units as bytes of `codePage`; `usedDefault` tells of a character it lacks.
std::string NarrowText(UINT codePage, const WCHAR* wide, size_t count, BOOL* usedDefault);
