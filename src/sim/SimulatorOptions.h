#pragma once
#include "CommandRecord.h"

#include <cstdint>
#include <functional>
#include <string>

struct SimulatorOptions {
    // Empty: the system's local line (a pseudo-terminal; on Windows a loopback TCP port).
    // Otherwise a TCP line listening on this address and listenPort (0 takes a free one),
    // reached as socket://HOST:PORT.
    std::string listenHost;
    uint16_t listenPort = 0;
    // A command ends when the line has been idle this long: the matrix has no terminator.
    int idleGapMs = 30;
    // 0 sends replies as fast as the pseudo-terminal takes them; otherwise the reply bytes
    // are paced as on a line of this rate (8N1: ten bits per byte).
    int lineRateBaud = 0;
    // How long the matrix stays silent after "#power start=1".
    int restartSilenceMs = 3000;
    // Time the matrix takes to answer a command.
    int replyDelayMs = 0;
    // Or-ed into every value of the status block; only the low six bits carry meaning.
    uint8_t statusHighBits = 0;
    // Called on the simulator's thread after each command has been handled. Must not call
    // Stop() or CloseLine().
    std::function<void(const CommandRecord&)> onCommand;
};
