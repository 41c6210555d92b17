#include "DeviceStatus.h"

#include "BlockLayout.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace BlockLayout;

uint8_t byteAt(const std::optional<Block>& block, size_t offset)
{
    return block && offset < block->size() ? (*block)[offset] : 0;
}

template <size_t N> std::array<uint8_t, N> bytesAt(const std::optional<Block>& block, size_t offset)
{
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i)
        out[i] = byteAt(block, offset + i);
    return out;
}

// Text at offset, up to its first zero, its width or the block's end, whichever comes first.
std::string textAt(const std::optional<Block>& block, size_t offset, size_t width)
{
    if (!block || offset >= block->size())
        return {};
    const size_t limit = std::min(width, block->size() - offset);
    const auto* start = block->data() + offset;
    const auto* end = std::find(start, start + limit, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
}

bool validEntry(int entry) { return entry >= 1 && entry <= kNameEntries; }

struct StatePart {
    int frameType;
    const char* words;
};

constexpr StatePart kWholeState[] = {
    {1, "network settings"},     {2, "routing and audio/EDID status"},
    {3, "built-in EDID names"},  {4, "user EDID names"},
    {5, "input EDID names"},     {6, "HDMI sink EDID names"},
    {7, "HDBT sink EDID names"}, {8, "input names"},
    {9, "HDMI output names"},    {10, "HDBT output names"},
    {11, "scene names"},         {13, "model and firmware"},
};

bool received(uint32_t frameTypes, int frameType) { return (frameTypes >> frameType) & 1u; }

bool received(const DeviceStatus& status, int frameType)
{
    return received(status.framesReceived.load(), frameType);
}

} // namespace

int NameTableWidth(NameTable table) { return table <= NameTable::EdidHdbtOutput ? 32 : 16; }

int NameTableSize(NameTable table) { return NameTableWidth(table) * kNameEntries; }

int NameTableFrameType(NameTable table) { return static_cast<int>(table) + 3; }

std::optional<NameTable> NameTableForFrameType(int type)
{
    if (type < 3 || type > 11)
        return std::nullopt;
    return static_cast<NameTable>(type - 3);
}

int DeviceStatus::statusByte(size_t offset) const { return byteAt(statusBlock, offset) & 0x3F; }

int DeviceStatus::videoInput(int output) const
{
    return statusByte(kVideoInputAt + output - 1) + 1;
}
int DeviceStatus::audioInputMode(int input) const { return statusByte(kAudioInputAt + input - 1); }
int DeviceStatus::audioOutputHdmi(int output) const
{
    return statusByte(kAudioHdmiAt + output - 1);
}
int DeviceStatus::audioOutputIis(int output) const { return statusByte(kAudioIisAt + output - 1); }
int DeviceStatus::audioOutputSpdif(int output) const
{
    return statusByte(kAudioSpdifAt + output - 1);
}
int DeviceStatus::edidMode(int input) const { return statusByte(kEdidModeAt + input - 1); }
int DeviceStatus::edidData(int input) const { return statusByte(kEdidDataAt + input - 1); }

int DeviceStatus::dhcp() const { return byteAt(networkBlock, kDhcpAt); }
std::array<uint8_t, 4> DeviceStatus::ipAddress() const { return bytesAt<4>(networkBlock, kIpAt); }
std::array<uint8_t, 4> DeviceStatus::subnetMask() const
{
    return bytesAt<4>(networkBlock, kMaskAt);
}
std::array<uint8_t, 4> DeviceStatus::gateway() const
{
    return bytesAt<4>(networkBlock, kGatewayAt);
}
std::array<uint8_t, 4> DeviceStatus::dnsServer() const { return bytesAt<4>(networkBlock, kDnsAt); }
std::array<uint8_t, 6> DeviceStatus::macAddress() const { return bytesAt<6>(networkBlock, kMacAt); }
std::string DeviceStatus::netbiosName() const
{
    return textAt(networkBlock, kNetbiosAt, kNetbiosWidth);
}

std::string DeviceStatus::productModel() const { return textAt(modelBlock, kModelAt, kModelWidth); }
std::string DeviceStatus::releaseVersion() const
{
    return textAt(modelBlock, kVersionAt, modelBlock ? modelBlock->size() : 0);
}

std::span<uint8_t> DeviceStatus::tableBytes(NameTable table)
{
    return {tables_[static_cast<size_t>(table)].data(), static_cast<size_t>(NameTableSize(table))};
}

std::span<const uint8_t> DeviceStatus::tableBytes(NameTable table) const
{
    return {tables_[static_cast<size_t>(table)].data(), static_cast<size_t>(NameTableSize(table))};
}

std::span<const uint8_t> DeviceStatus::nameEntry(NameTable table, int entry) const
{
    if (!validEntry(entry))
        return {};
    const size_t width = static_cast<size_t>(NameTableWidth(table));
    return tableBytes(table).subspan(width * static_cast<size_t>(entry - 1), width);
}

std::string DeviceStatus::name(NameTable table, int entry) const
{
    const auto bytes = nameEntry(table, entry);
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return std::string(bytes.begin(), end);
}

void DeviceStatus::setName(NameTable table, int entry, std::string_view bytes)
{
    if (!validEntry(entry))
        return;
    const size_t width = static_cast<size_t>(NameTableWidth(table));
    auto target = tableBytes(table).subspan(width * static_cast<size_t>(entry - 1), width);
    std::fill(target.begin(), target.end(), uint8_t{0});
    std::memcpy(target.data(), bytes.data(), std::min(width, bytes.size()));
}

void DeviceStatus::clearModel()
{
    edidChoiceAtInputNames.fill(-1);
    statusRefreshPending = 0;
    networkRefreshPending = 0;
    modelRefreshPending = 0;
    acquisitionState = AcquisitionPending;
    framesReceived = 0;
    for (auto& table : tables_)
        table.fill(0);
    statusBlock.reset();
    networkBlock.reset();
    modelBlock.reset();
}

std::optional<std::string> PresentedEdidName(const DeviceStatus& status, int input)
{
    if (input < 1 || input > kNameEntries)
        return std::nullopt;
    const bool tableCame = received(status, NameTableFrameType(NameTable::EdidInput));
    const bool current =
        tableCame &&
        (!status.hasStatusBlock() ||
         status.edidChoiceAtInputNames[static_cast<size_t>(input - 1)] == status.edidChoice(input));
    if (current)
        return status.name(NameTable::EdidInput, input);
    if (!status.hasStatusBlock())
        return std::nullopt;
    static constexpr NameTable kByMode[] = {NameTable::EdidDefault, NameTable::EdidUser,
                                            NameTable::EdidHdmiOutput, NameTable::EdidHdbtOutput};
    const int mode = status.edidMode(input);
    if (mode < 0 || mode > 3 || !received(status, NameTableFrameType(kByMode[mode])))
        return std::nullopt;
    return status.name(kByMode[mode], status.edidData(input) + 1);
}

bool HasWholeState(const DeviceStatus& status) { return IsWholeState(status.framesReceived); }

bool IsWholeState(uint32_t frameTypes)
{
    return std::all_of(std::begin(kWholeState), std::end(kWholeState),
                       [&](const StatePart& part) { return received(frameTypes, part.frameType); });
}

std::vector<std::string> MissingStateParts(const DeviceStatus& status)
{
    std::vector<std::string> missing;
    for (const StatePart& part : kWholeState) {
        if (!received(status, part.frameType))
            missing.emplace_back(part.words);
    }
    return missing;
}

void ResetDeviceStatus(DeviceStatus& status)
{
    status.stopRequested = 0;
    status.acquisitionDone = 0;
    status.clearModel();
}

void ClearDeviceStatusOnClose(DeviceStatus& status)
{
    status.stopRequested = 1;
    status.clearModel();
}

DeviceStatus& GlobalDeviceStatus()
{
    static DeviceStatus status;
    return status;
}
