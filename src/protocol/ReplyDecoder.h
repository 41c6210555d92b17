#pragma once
// Turns received chunks into DeviceStatus contents and receive-log text. All text is 8-bit
// (names arrive in code page 936); the UI decodes it for display. Every read is bounded by
// the chunk, the block or the table entry.
#include "DeviceStatus.h"

#include <cstdint>
#include <span>
#include <string>

// One chunk as read from the port. Frames found by their marker are decoded (plain text
// around them is not shown); a chunk without a frame is shown as plain text.
std::string DecodeChunk(DeviceStatus& status, std::span<const uint8_t> chunk);

// The bytes after a marker, up to the chunk's end. Empty text for a bad checksum, a length
// running past the chunk, or a type without a decoder.
std::string DecodeFrame(DeviceStatus& status, std::span<const uint8_t> frame);

// The chunk up to its first zero byte, line by line.
std::string DecodePlainText(std::span<const uint8_t> chunk);

// Block decoders: store the block, raise the refresh flag, return the block's text.
std::string DecodeStatusBlock(DeviceStatus& status, std::span<const uint8_t> block);
std::string DecodeNetworkBlock(DeviceStatus& status, std::span<const uint8_t> block);
std::string DecodeNameTable(DeviceStatus& status, int type, std::span<const uint8_t> block);
std::string DecodeModelBlock(DeviceStatus& status, std::span<const uint8_t> block);
