#include "behaviour.h"

#include <cstdlib>
#include <sstream>

namespace orbis::sim {

namespace {

bool ParsePieces(const std::string& text, std::vector<int>* pieces) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (item == "random")
            pieces->push_back(-1);
        else {
            int n = std::atoi(item.c_str());
            if (n <= 0) return false;
            pieces->push_back(n);
        }
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return !pieces->empty();
}

} // namespace

bool TakeBehaviourOption(const std::vector<std::string>& args, size_t* at, Behaviour* behaviour,
                         std::string* error) {
    const std::string& a = args[*at];
    EngineOptions& e = behaviour->engine;
    TransportOptions& t = behaviour->transport;
    auto value = [&](std::string* out) {
        if (*at + 1 >= args.size()) {
            *error = a + " needs a value";
            return false;
        }
        *out = args[++*at];
        return true;
    };
    auto number = [&](auto* out) {
        std::string v;
        if (!value(&v)) return;
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || n < 0)
            *error = a + " needs a number, not \"" + v + "\"";
        else
            *out = static_cast<std::remove_reference_t<decltype(*out)>>(n);
    };
    const struct {
        const char* name;
        bool* flag;
    } flags[] = {{"--foreign-first", &e.foreignFirst},
                 {"--unsolicited-first", &e.unsolicitedFirst},
                 {"--command-errors", &e.commandErrors},
                 {"--refuse-offline", &e.refuseOffline},
                 {"--refuse-online", &e.refuseOnline},
                 {"--alert-first", &e.alertFirst},
                 {"--silent", &e.silent}};
    for (const auto& f : flags)
        if (a == f.name) {
            *f.flag = true;
            return true;
        }
    std::string v;
    if (a == "--npa-mode") {
        if (value(&v) && !ParseNpaMode(v, &e.npaMode)) *error = "unknown NPA mode \"" + v + "\"";
    } else if (a == "--chain")
        number(&e.chainSize);
    else if (a == "--text-memory")
        number(&e.textMemory);
    else if (a == "--number-max")
        number(&e.numberMax);
    else if (a == "--stray")
        number(&e.strayBytes);
    else if (a == "--delay")
        number(&t.replyDelayMs);
    else if (a == "--pieces") {
        t.pieces.clear();
        if (value(&v) && !ParsePieces(v, &t.pieces)) *error = "bad piece list \"" + v + "\"";
    } else if (a == "--piece-delay")
        number(&t.pieceDelayMs);
    else if (a == "--drop-after")
        number(&t.dropAfter);
    else if (a == "--seed")
        number(&t.seed);
    else
        return false;
    return true;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace orbis::sim
