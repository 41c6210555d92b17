#include "ReplyDecoder.h"

#include "ReplyFrame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kPorts = 8;

template <typename... Args> void appendf(std::string& out, const char* pattern, Args... args)
{
    char buffer[96];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
    if (n > 0)
        out.append(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

const char* lineFormat(int type)
{
    switch (type) {
    case FrameEdidDefaultNames:
        return "ded%d:";
    case FrameEdidUserNames:
        return "ued%d:";
    case FrameEdidInputNames:
        return "ied%d:";
    case FrameEdidHdmiOutputNames:
        return "oed_hdmi%d:";
    case FrameEdidHdbtOutputNames:
        return "oed_hdbt%d:";
    case FrameInputPortNames:
        return "port_i%d:";
    case FrameHdmiOutputPortNames:
        return "port_ohdmi%d:";
    case FrameHdbtOutputPortNames:
        return "port_ohdbt%d:";
    case FrameSceneNames:
        return "grp%d:";
    default:
        return nullptr;
    }
}

void markReceived(DeviceStatus& status, int type) { status.framesReceived.fetch_or(1u << type); }

// Port and scene tables are replaced whole; EDID name tables keep bytes the block omits.
bool clearsBeforeCopy(int type) { return type >= FrameInputPortNames && type <= FrameSceneNames; }

void appendDotted(std::string& out, const char* key, const std::array<uint8_t, 4>& a)
{
    appendf(out, "%s=%d.%d.%d.%d\r\n", key, a[0], a[1], a[2], a[3]);
}

// Each byte in lower-case hex without leading zeros, then padded to two places with "0".
std::string macText(const std::array<uint8_t, 6>& mac)
{
    std::string out;
    for (size_t i = 0; i < mac.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%x", mac[i]);
        if (hex[1] == '\0')
            out.push_back('0');
        out.append(hex);
        if (i + 1 < mac.size())
            out.push_back(':');
    }
    return out;
}

} // namespace

std::string DecodeStatusBlock(DeviceStatus& status, std::span<const uint8_t> block)
{
    status.statusBlock = Block(block.begin(), block.end());
    std::string text;
    for (int p = 1; p <= kPorts; ++p) {
        appendf(text, "VO:%dIN:%d;", p, status.videoInput(p));
        appendf(text, "E:%dM:%dD:%d;", p, status.edidMode(p), status.edidData(p) + 1);
        appendf(text, "AI:%dM:%d;", p, status.audioInputMode(p));
        appendf(text, "AO:%dHDMI:%d;", p, status.audioOutputHdmi(p));
        appendf(text, "AO:%diis:%d;", p, status.audioOutputIis(p));
        appendf(text, "AO:%dspdif:%d;\r\n", p, status.audioOutputSpdif(p));
    }
    status.statusRefreshPending = 1;
    markReceived(status, FrameStatus);
    return text;
}

std::string DecodeNetworkBlock(DeviceStatus& status, std::span<const uint8_t> block)
{
    status.networkBlock = Block(block.begin(), block.end());
    std::string text;
    appendDotted(text, "ip", status.ipAddress());
    appendDotted(text, "mask", status.subnetMask());
    appendDotted(text, "gw", status.gateway());
    appendDotted(text, "dns", status.dnsServer());
    appendf(text, "dhcp=%d\r\n", status.dhcp());
    text.append("netbios=").append(status.netbiosName()).append("\r\n");
    text.append("mac=").append(macText(status.macAddress())).append("\r\n");
    status.networkRefreshPending = 1;
    markReceived(status, FrameNetwork);
    return text;
}

std::string DecodeNameTable(DeviceStatus& status, int type, std::span<const uint8_t> block)
{
    const auto table = NameTableForFrameType(type);
    if (!table)
        return {};
    auto bytes = status.tableBytes(*table);
    if (clearsBeforeCopy(type))
        std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    std::copy_n(block.begin(), std::min(block.size(), bytes.size()), bytes.begin());

    std::string text;
    for (int k = 1; k <= kNameEntries; ++k) {
        appendf(text, lineFormat(type), k);
        text.append(status.name(*table, k)).append(";\r\n");
    }
    markReceived(status, type);
    // The HDMI output names end the panel's acquisition, whatever came before them: a matrix
    // need not send every block. Callers that want the whole state ask HasWholeState.
    if (type == FrameHdmiOutputPortNames)
        status.acquisitionState = AcquisitionComplete;
    return text;
}

std::string DecodeModelBlock(DeviceStatus& status, std::span<const uint8_t> block)
{
    status.modelBlock = Block(block.begin(), block.end());
    std::string text = "Product Model:" + status.productModel();
    text.append("\r\nRelease Version:").append(status.releaseVersion()).append(";\r\n");
    status.modelRefreshPending = 1;
    markReceived(status, FrameModel);
    return text;
}

std::string DecodeFrame(DeviceStatus& status, std::span<const uint8_t> frame)
{
    if (frame.size() < kFrameHeaderSize)
        return {};
    const int type = frame[0];
    const size_t length = static_cast<size_t>(frame[2]) * 256 + frame[3];
    // Header, the L-byte block and nothing more: the checksum is the block's last byte, at 4+L.
    if (frame.size() < kFrameHeaderSize + length)
        return {};
    if (FrameChecksum(frame.first(4 + length)) != frame[4 + length])
        return {};

    const auto block = frame.subspan(kFrameHeaderSize, length);
    switch (type) {
    case FrameNetwork:
        return DecodeNetworkBlock(status, block);
    case FrameStatus:
        return DecodeStatusBlock(status, block);
    case FrameModel:
        return DecodeModelBlock(status, block);
    default:
        return DecodeNameTable(status, type, block);
    }
}

std::string DecodePlainText(std::span<const uint8_t> chunk)
{
    const auto end = std::find(chunk.begin(), chunk.end(), uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(chunk.data()),
                                static_cast<size_t>(end - chunk.begin()));
    if (text.find('\n') == std::string_view::npos)
        return std::string(text) + "\r\n";

    std::string out;
    size_t start = 0;
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
        out.append(text.substr(start, lf - start)).append("\r\n");
        start = lf + 1;
    }
    return out + "\r\n";
}

std::string DecodeChunk(DeviceStatus& status, std::span<const uint8_t> chunk)
{
    const size_t n = chunk.size();
    if (n <= 6)
        return DecodePlainText(chunk);

    std::string text;
    int frames = 0;
    // The scan goes on one byte after each marker, so it also looks inside decoded frames.
    for (size_t i = 6; i + 1 < n; ++i) {
        if (chunk[i] != '>' || chunk[i + 1] != '>' || std::memcmp(&chunk[i - 6], "master", 6) != 0)
            continue;
        text.append(DecodeFrame(status, chunk.subspan(i + 2))).append("\r\n");
        ++frames;
    }
    return frames > 0 ? text : DecodePlainText(chunk);
}
