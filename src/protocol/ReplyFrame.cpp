#include "ReplyFrame.h"

#include <algorithm>

uint8_t FrameChecksum(std::span<const uint8_t> bytes)
{
    uint8_t x = 0;
    for (uint8_t b : bytes)
        x ^= b;
    return x;
}

std::vector<uint8_t> BuildReplyFrame(int type, std::span<const uint8_t> data)
{
    const size_t length = data.size() + 1;
    std::vector<uint8_t> frame(kFrameMarker.begin(), kFrameMarker.end());
    const size_t start = frame.size();
    frame.push_back(static_cast<uint8_t>(type));
    frame.push_back(0);
    frame.push_back(static_cast<uint8_t>(length >> 8));
    frame.push_back(static_cast<uint8_t>(length & 0xFF));
    frame.push_back(0);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(FrameChecksum(std::span(frame).subspan(start)));
    return frame;
}

namespace {

// Where the frame whose marker starts at `at` ends, counted from the chunk's start; past the
// chunk's size when its header or data has not all arrived.
size_t FrameEnd(std::span<const uint8_t> chunk, size_t at)
{
    const size_t header = at + kFrameMarker.size();
    if (chunk.size() < header + kFrameHeaderSize)
        return chunk.size() + 1;
    const size_t length = chunk[header + 2] * 256u + chunk[header + 3];
    return header + kFrameHeaderSize + length;
}

// The whole frame from the marker at `at` to `end` carries its own checksum.
bool ChecksumHolds(std::span<const uint8_t> chunk, size_t at, size_t end)
{
    const auto frame = chunk.subspan(at + kFrameMarker.size(), end - at - kFrameMarker.size());
    return FrameChecksum(frame.first(frame.size() - 1)) == frame.back();
}

// The text ends with the marker's first bytes: the rest of it may be on its way.
bool EndsInMarkerStart(std::string_view text)
{
    for (size_t n = std::min(text.size(), kFrameMarker.size() - 1); n > 0; --n) {
        if (text.ends_with(kFrameMarker.substr(0, n)))
            return true;
    }
    return false;
}

} // namespace

bool EndsInsideFrame(std::span<const uint8_t> chunk)
{
    const std::string_view bytes(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    size_t next = 0;
    for (size_t at = bytes.find(kFrameMarker); at != std::string_view::npos;
         at = bytes.find(kFrameMarker, next)) {
        const size_t end = FrameEnd(chunk, at);
        if (end > chunk.size())
            return true;
        next = ChecksumHolds(chunk, at, end) ? end : at + 1;
    }
    return EndsInMarkerStart(bytes.substr(next));
}

FrameCounts CountValidFrames(std::span<const uint8_t> chunk)
{
    FrameCounts counts;
    const std::string_view bytes(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    for (size_t at = bytes.find(kFrameMarker); at != std::string_view::npos;
         at = bytes.find(kFrameMarker, at + 1)) {
        const size_t end = FrameEnd(chunk, at);
        if (end <= chunk.size() && ChecksumHolds(chunk, at, end))
            ++counts[chunk[at + kFrameMarker.size()]];
    }
    return counts;
}
