#include "MatrixDevice.h"

#include "MatrixBlocks.h"

#include <functional>

namespace
{

// Target 0 addresses every port of the kind.
void forTargets(int target, int count, const std::function<void(size_t)>& action)
{
    const int first = target == 0 ? 1 : target;
    const int last = target == 0 ? count : target;
    for (int n = first; n <= last; ++n)
        action(static_cast<size_t>(n - 1));
}

NameTable portTable(PortGroup group)
{
    switch (group) {
    case PortGroup::Input:
        return NameTable::InputPort;
    case PortGroup::Hdmi:
        return NameTable::HdmiOutputPort;
    case PortGroup::Hdbt:
        break;
    }
    return NameTable::HdbtOutputPort;
}

} // namespace

MatrixDevice::MatrixDevice(MatrixState state) : state_(std::move(state)) {}

DeviceResponse MatrixDevice::Handle(std::string_view line)
{
    const ParsedCommand parsed = ParseMatrixCommand(line);
    if (!parsed.command)
        return {false, parsed.error, {}, false};
    DeviceResponse response{true, {}, {}, false};
    response.frames = apply(*parsed.command, response.restart);
    return response;
}

std::vector<uint8_t> MatrixDevice::statusFrame() const
{
    return StatusFrame(state_, highBits_);
}

std::vector<std::vector<uint8_t>> MatrixDevice::apply(const MatrixCommand& command, bool& restart)
{
    switch (command.kind) {
    case CommandKind::Route:
        route(command);
        return {statusFrame()};
    case CommandKind::SceneSave:
        return {saveScene(command)};
    case CommandKind::SceneRecall:
        state_.routing = state_.scenes[static_cast<size_t>(command.target - 1)];
        return {statusFrame()};
    case CommandKind::PortRename:
        return {renamePort(command)};
    case CommandKind::AudioInput:
    case CommandKind::AudioIis:
    case CommandKind::AudioSpdif:
        setAudio(command);
        return {statusFrame()};
    // The input EDID names are kept current: a new choice sends them again after the status.
    case CommandKind::EdidInput:
        setEdidInput(command);
        return {statusFrame(), NameTableFrame(state_, NameTable::EdidInput)};
    case CommandKind::EdidStoreUser:
        return {storeUserEdid(command), NameTableFrame(state_, NameTable::EdidInput)};
    case CommandKind::IpDhcp:
    case CommandKind::IpStatic:
        setNetwork(command);
        return {NetworkFrame(state_)};
    case CommandKind::Restart:
        restart = true;
        return {};
    case CommandKind::Factory:
        state_ = DefaultMatrixState();
        return {};
    case CommandKind::RequestAll:
        return FullStateFrames(state_, highBits_);
    case CommandKind::RequestStatus:
        break;
    }
    return {statusFrame()};
}

void MatrixDevice::route(const MatrixCommand& command)
{
    forTargets(command.target, kMatrixOutputs,
               [&](size_t o) { state_.routing[o] = command.value; });
}

// A plain save confirms with the routing it stored; a named save with the scene names.
std::vector<uint8_t> MatrixDevice::saveScene(const MatrixCommand& command)
{
    state_.scenes[static_cast<size_t>(command.target - 1)] = state_.routing;
    if (!command.name)
        return statusFrame();
    state_.nameAt(NameTable::Scene, command.target) = *command.name;
    return NameTableFrame(state_, NameTable::Scene);
}

std::vector<uint8_t> MatrixDevice::renamePort(const MatrixCommand& command)
{
    const NameTable table = portTable(command.group);
    state_.nameAt(table, command.target) = command.name.value_or("");
    return NameTableFrame(state_, table);
}

void MatrixDevice::setAudio(const MatrixCommand& command)
{
    if (command.kind == CommandKind::AudioInput) {
        forTargets(command.target, kMatrixInputs,
                   [&](size_t i) { state_.audioInputMode[i] = command.value; });
        return;
    }
    auto& switches = command.kind == CommandKind::AudioIis ? state_.audioIis : state_.audioSpdif;
    forTargets(command.target, kMatrixOutputs, [&](size_t o) { switches[o] = command.value; });
}

void MatrixDevice::setEdidInput(const MatrixCommand& command)
{
    forTargets(command.target, kMatrixInputs, [&](size_t i) {
        state_.edidMode[i] = command.value;
        state_.edidSource[i] = command.data;
        state_.updateInputEdidName(static_cast<int>(i) + 1);
    });
}

// The slot takes the EDID (and so the name) of the sink on the chosen output; inputs that
// present that slot now present the new EDID.
std::vector<uint8_t> MatrixDevice::storeUserEdid(const MatrixCommand& command)
{
    const NameTable from =
        command.value == EdidHdbt ? NameTable::EdidHdbtOutput : NameTable::EdidHdmiOutput;
    state_.nameAt(NameTable::EdidUser, command.target) = state_.nameAt(from, command.data);
    for (int input = 1; input <= kMatrixInputs; ++input)
        state_.updateInputEdidName(input);
    return NameTableFrame(state_, NameTable::EdidUser);
}

void MatrixDevice::setNetwork(const MatrixCommand& command)
{
    NetworkSettings& net = state_.network;
    net.dhcp = command.value == 1;
    if (command.kind != CommandKind::IpStatic)
        return;
    net.ip = command.ip;
    net.mask = command.mask;
    net.gateway = command.gateway;
}
