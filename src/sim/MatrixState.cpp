#include "MatrixState.h"

#include "HostCommands.h"

namespace
{

using NameList = std::array<std::string, kNameEntries>;

// The built-in EDIDs of a typical 4K matrix, in slot order.
const NameList kBuiltInEdids = {"1080P 2CH",    "1080P 6CH",    "1080P 8CH",    "4K30 420 2CH",
                                "4K30 444 6CH", "4K60 420 2CH", "4K60 444 8CH", "4K60 444 HDR"};

NameList numbered(const std::string& prefix, int count)
{
    NameList list;
    for (int i = 0; i < count; ++i)
        list[static_cast<size_t>(i)] = prefix + std::to_string(i + 1);
    return list;
}

void setNames(MatrixState& state)
{
    state.names[static_cast<size_t>(NameTable::EdidDefault)] = kBuiltInEdids;
    // One slot was stored from an output with nothing plugged in.
    NameList user = numbered("User", kEdidSlots);
    user[7] = "Unplug";
    state.names[static_cast<size_t>(NameTable::EdidUser)] = user;
    state.names[static_cast<size_t>(NameTable::EdidHdmiOutput)] = {"4K60 444 HDR", "1080P 2CH",
                                                                   "Unplug", "Unplug"};
    state.names[static_cast<size_t>(NameTable::EdidHdbtOutput)] = {"1080P 2CH", "Unplug", "Unplug",
                                                                   "Unplug"};
    state.names[static_cast<size_t>(NameTable::InputPort)] = numbered("Input", kMatrixInputs);
    state.names[static_cast<size_t>(NameTable::HdmiOutputPort)] = numbered("HDMI", kMatrixOutputs);
    state.names[static_cast<size_t>(NameTable::HdbtOutputPort)] = numbered("HDBT", kMatrixOutputs);
    state.names[static_cast<size_t>(NameTable::Scene)] = numbered("Scene", kMatrixScenes);
}

void setNetwork(NetworkSettings& network)
{
    network.dhcp = false;
    network.ip = {192, 168, 1, 100};
    network.mask = {255, 255, 255, 0};
    network.gateway = {192, 168, 1, 1};
    network.dns = {192, 168, 1, 1};
    network.mac = {0x02, 0x54, 0x56, 0x4C, 0x00, 0x01}; // locally administered
    network.netbiosName = "MATRIX-SIM";
}

NameTable outputEdidTable(int mode)
{
    return mode == EdidHdbt ? NameTable::EdidHdbtOutput : NameTable::EdidHdmiOutput;
}

} // namespace

std::string& MatrixState::nameAt(NameTable table, int entry)
{
    return names[static_cast<size_t>(table)][static_cast<size_t>(entry - 1)];
}

const std::string& MatrixState::nameAt(NameTable table, int entry) const
{
    return names[static_cast<size_t>(table)][static_cast<size_t>(entry - 1)];
}

void MatrixState::updateInputEdidName(int input)
{
    const auto i = static_cast<size_t>(input - 1);
    const int mode = edidMode[i];
    NameTable source = NameTable::EdidDefault;
    if (mode == EdidUser)
        source = NameTable::EdidUser;
    else if (mode == EdidHdmi || mode == EdidHdbt)
        source = outputEdidTable(mode);
    nameAt(NameTable::EdidInput, input) = nameAt(source, edidSource[i]);
}

MatrixState DefaultMatrixState()
{
    MatrixState state;
    for (int o = 0; o < kMatrixOutputs; ++o) {
        const auto i = static_cast<size_t>(o);
        state.routing[i] = o + 1;
        state.audioInputMode[i] = AudioH;
        state.audioHdmi[i] = 1;
        state.audioIis[i] = 1;
        state.audioSpdif[i] = 1;
        state.edidMode[i] = EdidDefault;
        state.edidSource[i] = kEdidSlots; // the richest built-in EDID
    }
    for (auto& scene : state.scenes)
        scene = {1, 1, 1, 1};
    setNames(state);
    for (int input = 1; input <= kMatrixInputs; ++input)
        state.updateInputEdidName(input);
    setNetwork(state.network);
    state.productModel = "TVM-0408-H20";
    state.releaseVersion = "V2.1.07";
    return state;
}
