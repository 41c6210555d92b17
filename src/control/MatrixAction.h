#pragma once
// What a request puts on the wire, and how the matrix's answer shows that it was taken.
#include "DeviceStatus.h"
#include "HostCommands.h"

#include <functional>
#include <vector>

// The part of the state an action changes, for a front end that shows the result.
enum class ActionScope { Nothing, Routing, Audio, Edid, Network, Names };

struct MatrixAction {
    std::vector<HostCommand> commands; // each sent after its pause, in this order
    // Taken once confirmCount valid frames of confirmType have arrived and confirmed() holds
    // for the state they left. Type 0: the matrix does not answer.
    int confirmType = 0;
    int confirmCount = 1;
    std::function<bool(const DeviceStatus&)> confirmed = [](const DeviceStatus&) { return true; };
    ActionScope changes = ActionScope::Nothing;
    NameTable names = NameTable::Scene; // the table changed, with ActionScope::Names
};
