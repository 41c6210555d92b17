#pragma once
// Where each field stands in the blocks the matrix sends (offsets within the block a decoder
// receives). The decoders read these places and the simulator writes them.
#include <cstddef>

namespace BlockLayout {

// Status block: one byte per port (8 ports) from each offset; the low six bits carry the value.
inline constexpr size_t kVideoInputAt = 16; // input counted from 0
inline constexpr size_t kAudioInputAt = 40;
inline constexpr size_t kAudioHdmiAt = 48;
inline constexpr size_t kAudioIisAt = 56;
inline constexpr size_t kAudioSpdifAt = 64;
inline constexpr size_t kEdidModeAt = 72;
inline constexpr size_t kEdidDataAt = 80; // source counted from 0

// Network block.
inline constexpr size_t kDhcpAt = 0;
inline constexpr size_t kIpAt = 1;
inline constexpr size_t kMaskAt = 5;
inline constexpr size_t kGatewayAt = 9;
inline constexpr size_t kDnsAt = 13;
inline constexpr size_t kMacAt = 17;
inline constexpr size_t kNetbiosAt = 23;
inline constexpr size_t kNetbiosWidth = 16;

// Model block.
inline constexpr size_t kModelAt = 16;
inline constexpr size_t kModelWidth = 16;
inline constexpr size_t kVersionAt = 32;

} // namespace BlockLayout
