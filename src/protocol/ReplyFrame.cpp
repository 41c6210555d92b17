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

FrameCounts CountValidFrames(std::span<const uint8_t> chunk)
{
    FrameCounts counts;
    const std::string_view bytes(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    for (size_t at = bytes.find(kFrameMarker); at != std::string_view::npos;
         at = bytes.find(kFrameMarker, at + 1)) {
        const auto frame = chunk.subspan(at + kFrameMarker.size());
        if (frame.size() < kFrameHeaderSize)
            continue;
        const size_t length = frame[2] * 256u + frame[3];
        if (frame.size() < kFrameHeaderSize + length ||
            FrameChecksum(frame.first(4 + length)) != frame[4 + length])
            continue;
        ++counts[frame[0]];
    }
    return counts;
}
