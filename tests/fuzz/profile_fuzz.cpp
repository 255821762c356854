// fuzz-sources: platform/standin/profile.cpp platform/standin/paths.cpp
// Any bytes as an INI file: every profile call stays within its buffer and
// returns a count that fits it.
#include "orbis_platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
std::string path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/profile_fuzzXXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path = name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    // Names to ask for come from the data itself, so real sections and keys are hit.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string section = text.substr(0, text.find('\n'));
    if (!section.empty() && section[0] == '[') section = section.substr(1, section.find(']') - 1);
    section = section.substr(0, section.find('\0'));
    std::string key = "k";
    if (size_t eq = text.find('='); eq != std::string::npos) {
        size_t start = text.rfind('\n', eq);
        key = text.substr(start == std::string::npos ? 0 : start + 1,
                          eq - (start == std::string::npos ? 0 : start + 1));
        key = key.substr(0, key.find('\0'));
    }
    for (DWORD bufferSize : {0u, 1u, 2u, 7u, 64u, 4096u}) {
        char* buffer = static_cast<char*>(std::malloc(bufferSize ? bufferSize : 1));
        DWORD n = GetPrivateProfileSectionA(section.c_str(), buffer, bufferSize, path.c_str());
        if (bufferSize && n > bufferSize - 1) std::abort();
        n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "dflt", buffer, bufferSize, path.c_str());
        if (bufferSize && n > bufferSize - 1) std::abort();
        n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, bufferSize, path.c_str());
        if (bufferSize && n > bufferSize - 1) std::abort();
        n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer, bufferSize, path.c_str());
        if (bufferSize && n > bufferSize - 1) std::abort();
        std::free(buffer);
    }
    GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, path.c_str());
    return 0;
}
