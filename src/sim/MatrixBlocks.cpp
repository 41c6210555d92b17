#include "MatrixBlocks.h"

#include "BlockLayout.h"
#include "ReplyFrame.h"

#include <algorithm>

namespace
{

using namespace BlockLayout;

// Copies at most width bytes; a text that fills the width goes out without a terminator.
void putText(std::vector<uint8_t>& block, size_t at, const std::string& text, size_t width)
{
    const size_t n = std::min(text.size(), width);
    std::copy_n(text.begin(), n, block.begin() + static_cast<std::ptrdiff_t>(at));
}

template <size_t N>
void putBytes(std::vector<uint8_t>& block, size_t at, const std::array<uint8_t, N>& bytes)
{
    std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
}

void putPerPort(std::vector<uint8_t>& block, size_t at, const MatrixState::PerPort& values,
                int offset, uint8_t highBits)
{
    for (size_t i = 0; i < values.size(); ++i)
        block[at + i] = static_cast<uint8_t>(((values[i] + offset) & 0x3F) | highBits);
}

} // namespace

std::vector<uint8_t> StatusBlockData(const MatrixState& state, uint8_t highBits)
{
    highBits &= 0xC0;
    std::vector<uint8_t> block(kStatusBlockData, 0);
    putPerPort(block, kVideoInputAt, state.routing, -1, highBits);
    putPerPort(block, kAudioInputAt, state.audioInputMode, 0, highBits);
    putPerPort(block, kAudioHdmiAt, state.audioHdmi, 0, highBits);
    putPerPort(block, kAudioIisAt, state.audioIis, 0, highBits);
    putPerPort(block, kAudioSpdifAt, state.audioSpdif, 0, highBits);
    putPerPort(block, kEdidModeAt, state.edidMode, 0, highBits);
    putPerPort(block, kEdidDataAt, state.edidSource, -1, highBits);
    return block;
}

std::vector<uint8_t> NetworkBlockData(const MatrixState& state)
{
    const NetworkSettings& net = state.network;
    std::vector<uint8_t> block(kNetworkBlockData, 0);
    block[kDhcpAt] = net.dhcp ? 1 : 0;
    putBytes(block, kIpAt, net.ip);
    putBytes(block, kMaskAt, net.mask);
    putBytes(block, kGatewayAt, net.gateway);
    putBytes(block, kDnsAt, net.dns);
    putBytes(block, kMacAt, net.mac);
    putText(block, kNetbiosAt, net.netbiosName, kNetbiosWidth);
    return block;
}

std::vector<uint8_t> ModelBlockData(const MatrixState& state)
{
    std::vector<uint8_t> block(kModelBlockData, 0);
    putText(block, kModelAt, state.productModel, kModelWidth);
    // The version has no width of its own; the simulator keeps it as short as the model.
    putText(block, kVersionAt, state.releaseVersion, kModelWidth);
    return block;
}

std::vector<uint8_t> NameTableData(const MatrixState& state, NameTable table)
{
    const auto width = static_cast<size_t>(NameTableWidth(table));
    std::vector<uint8_t> block(static_cast<size_t>(NameTableSize(table)), 0);
    for (int entry = 1; entry <= kNameEntries; ++entry)
        putText(block, (static_cast<size_t>(entry) - 1) * width, state.nameAt(table, entry), width);
    return block;
}

std::vector<uint8_t> StatusFrame(const MatrixState& state, uint8_t highBits)
{
    return BuildReplyFrame(FrameStatus, StatusBlockData(state, highBits));
}

std::vector<uint8_t> NetworkFrame(const MatrixState& state)
{
    return BuildReplyFrame(FrameNetwork, NetworkBlockData(state));
}

std::vector<uint8_t> ModelFrame(const MatrixState& state)
{
    return BuildReplyFrame(FrameModel, ModelBlockData(state));
}

std::vector<uint8_t> NameTableFrame(const MatrixState& state, NameTable table)
{
    return BuildReplyFrame(NameTableFrameType(table), NameTableData(state, table));
}

std::vector<std::vector<uint8_t>> FullStateFrames(const MatrixState& state, uint8_t highBits)
{
    std::vector<std::vector<uint8_t>> frames;
    frames.push_back(NetworkFrame(state));
    frames.push_back(StatusFrame(state, highBits));
    for (int t = 0; t < kNameTableCount; ++t) {
        const auto table = static_cast<NameTable>(t);
        if (table != NameTable::HdmiOutputPort)
            frames.push_back(NameTableFrame(state, table));
    }
    frames.push_back(ModelFrame(state));
    frames.push_back(NameTableFrame(state, NameTable::HdmiOutputPort));
    return frames;
}
