// The printer's behaviour options (NPA mode and injected faults), taken from
// the command line at start and from the control socket while it runs.
#pragma once

#include "engine.h"
#include "port_server.h"

#include <string>
#include <vector>

namespace orbis::sim {

struct Behaviour {
    EngineOptions engine;
    TransportOptions transport;
};

// When args[*at] is a behaviour option, takes it and its value into *behaviour,
// moves *at to its last word and returns true; *error then tells a bad value.
// Returns false for any other word.
bool TakeBehaviourOption(const std::vector<std::string>& args, size_t* at, Behaviour* behaviour,
                         std::string* error);

// Splits a control line into words at blanks.
std::vector<std::string> Words(const std::string& line);

} // namespace orbis::sim
