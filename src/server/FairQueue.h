#pragma once
// Commands of many clients, served in turn: each client's commands leave in the order given,
// and a client with many waiting gets one turn per round like everyone else.
//
// Not thread-safe; WireSender guards it.
#include "WireCommand.h"

#include <deque>
#include <map>
#include <optional>
#include <vector>

class FairQueue {
public:
    // Appends all or none: false when the source would hold more than limit commands.
    bool push(std::vector<WireCommand> commands, size_t limit);
    // The next command in turn.
    std::optional<WireCommand> pop();
    // Everything the source still has waiting, taken out.
    std::vector<WireCommand> dropSource(uint64_t source);
    std::vector<WireCommand> clear();

    bool empty() const { return turns_.empty(); }
    size_t pending(uint64_t source) const;

private:
    std::map<uint64_t, std::deque<WireCommand>> queues_;
    std::deque<uint64_t> turns_; // sources with commands waiting, the next one first
};
