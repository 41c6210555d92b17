#pragma once
// Commands of many clients, served in turn: each client's commands leave in the order given,
// and a client with many waiting gets one turn per round like everyone else. Bounded per
// client and over all clients together.
//
// Not thread-safe; WireSender guards it.
#include "WireCommand.h"

#include <deque>
#include <map>
#include <optional>
#include <vector>

class FairQueue {
public:
    enum class Push { Taken, SourceFull, AllFull };
    // Appends all or none: refused when the source would hold more than sourceLimit commands,
    // or all sources together more than totalLimit.
    Push push(std::vector<WireCommand> commands, size_t sourceLimit, size_t totalLimit);
    // The next command in turn.
    std::optional<WireCommand> pop();
    // Everything the source still has waiting, taken out.
    std::vector<WireCommand> dropSource(uint64_t source);
    std::vector<WireCommand> clear();

    bool empty() const { return turns_.empty(); }
    size_t pending(uint64_t source) const;
    size_t size() const { return size_; }

private:
    std::map<uint64_t, std::deque<WireCommand>> queues_;
    std::deque<uint64_t> turns_; // sources with commands waiting, the next one first
    size_t size_ = 0;
};
