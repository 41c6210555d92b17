#pragma once
// One command waiting for the wire, with what the sender needs to pace it and to say who asked.
#include "HostCommands.h"

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <vector>

struct WireCommand {
    using Clock = std::chrono::steady_clock;

    uint64_t source = 0; // the client that asked; 0 is the server itself
    uint64_t ticket = 0; // reported once the command is on the wire; 0: nobody waits for it
    bool lastOfTicket = true;
    QByteArray bytes;
    // When the client finished asking: the pause in front of the command counts from here at
    // the earliest, so a command never reaches the matrix sooner than if sent directly.
    Clock::time_point askedAt = Clock::now();
};

// The commands of one request from one source, in order; only the last reports its ticket.
inline std::vector<WireCommand> WireCommandsFor(const std::vector<HostCommand>& commands,
                                                uint64_t source)
{
    std::vector<WireCommand> wire;
    for (const HostCommand& command : commands) {
        WireCommand next;
        next.source = source;
        next.bytes = QByteArray::fromStdString(command);
        next.lastOfTicket = false;
        wire.push_back(std::move(next));
    }
    if (!wire.empty())
        wire.back().lastOfTicket = true;
    return wire;
}
