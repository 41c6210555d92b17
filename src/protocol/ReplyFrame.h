#pragma once
// Reply frames as the matrix sends them: the marker "master>>", then
//   [0] type, [1] free, [2..3] length L big-endian, [4] free, [5 .. 3+L] data,
//   [4+L] checksum = XOR of bytes [0 .. 3+L].
// The block a decoder sees is the L bytes from offset 5, so its last byte is the checksum.
#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <vector>

inline constexpr std::string_view kFrameMarker = "master>>";
inline constexpr size_t kFrameHeaderSize = 5;  // type, free, length (2), free
inline constexpr size_t kMaxChunkSize = 16384; // the port's queue, the ring and one read

enum FrameType {
    FrameNetwork = 1,
    FrameStatus = 2,
    FrameEdidDefaultNames = 3,
    FrameEdidUserNames = 4,
    FrameEdidInputNames = 5,
    FrameEdidHdmiOutputNames = 6,
    FrameEdidHdbtOutputNames = 7,
    FrameInputPortNames = 8,
    FrameHdmiOutputPortNames = 9,
    FrameHdbtOutputPortNames = 10,
    FrameSceneNames = 11,
    FrameModel = 13,
};

// XOR of the bytes, as the frame checksum uses it.
uint8_t FrameChecksum(std::span<const uint8_t> bytes);

// A whole frame, marker included, carrying the data; L is data.size() + 1 (the checksum).
std::vector<uint8_t> BuildReplyFrame(int type, std::span<const uint8_t> data);

// True when the chunk stops short of a frame's end: a marker, or the start of one, whose header
// or declared length runs past the chunk. A frame whose checksum holds is passed over whole, so
// a marker inside its data does not count; a marker that only begins a damaged frame does not
// hide the markers after it.
bool EndsInsideFrame(std::span<const uint8_t> chunk);

// Valid frames (checksum holds, length within the chunk) by type, found the way the receive
// path finds them: every marker, also inside a frame.
using FrameCounts = std::map<int, int>;
FrameCounts CountValidFrames(std::span<const uint8_t> chunk);
