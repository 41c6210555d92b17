#pragma once
// One command line as the matrix understands it, parsed strictly: the exact formats the
// panel sends, plain decimal numbers without leading zeros, values within the matrix's
// ranges. Anything else is refused with a reason, and a matrix ignores what it refuses.
#include "HostCommands.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class CommandKind {
    Route,         // target output (0 all), value input
    SceneSave,     // target scene, name when given
    SceneRecall,   // target scene
    PortRename,    // group, target port, name
    AudioInput,    // target input (0 all), value enc
    AudioIis,      // target output (0 all), value 0/1
    AudioSpdif,    // target output (0 all), value 0/1
    EdidInput,     // target input (0 all), value mode, data source
    EdidStoreUser, // target user slot, value mode (2 or 3), data output
    IpDhcp,        // value 0/1
    IpStatic,      // addresses ip, mask, gateway; value dhcp 0/1
    Restart,
    Factory,
    RequestAll,
    RequestStatus,
};

using Address = std::array<uint8_t, 4>;

struct MatrixCommand {
    CommandKind kind = CommandKind::RequestStatus;
    int target = 0;
    int value = 0;
    int data = 0;
    PortGroup group = PortGroup::Input;
    std::optional<std::string> name; // 8-bit, at most 16 bytes
    Address ip{};
    Address mask{};
    Address gateway{};
};

struct ParsedCommand {
    std::optional<MatrixCommand> command;
    std::string error; // why the line was refused, when it was
};

ParsedCommand ParseMatrixCommand(std::string_view line);
