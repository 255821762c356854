// fuzz-sources: settings/npa_reply.cpp settings/npa_catalogue.cpp
// fuzz-sources: platform/standin/profile.cpp platform/standin/paths.cpp
// fuzz-sources: platform/standin/code_page.cpp platform/standin/handle_table.cpp
// Any bytes as the printer's reply to the batched query: decoding never reads
// outside the reply and stores only names of the catalogue (or the empty name).
#include "npa_exchange.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/query_reply_fuzzXXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
    std::ofstream("quillon.ini")
        << "[NPA READ SETTING]\nBLANKPGS=A5000650E0E7200001\nPWRSVR=A5000650E0E7200010\n"
           "CUST1NAME=A5000650E0E7200040\n"
           "[NPA WRITE VALUES]\n*BLANKPGS:OFF=A5000750E0E720000100\n"
           "BLANKPGS:ON=A5000750E0E720000101\n*PWRSVR:1..15..240=A5000750E0E72000100F\n"
           "CUST1NAME:=A5000650E0E7200040\n";
    BuildQueryCommand();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StringMap values;
    DecodeQueryReply(data, static_cast<uint32_t>(size), values);
    for (const auto& [name, value] : values) {
        if (!name.empty() && name != "BLANKPGS" && name != "PWRSVR" && name != "CUST1NAME") std::abort();
        if (value.size() > 41 && name != "PWRSVR") std::abort();
    }
    return 0;
}
