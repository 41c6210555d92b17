#include "DecodedChunk.h"

#include "ReplyFrame.h"

#include <span>
#include <string_view>

FrameCounts CountValidFrames(const QByteArray& chunk)
{
    FrameCounts counts;
    const std::string_view bytes(chunk.constData(), static_cast<size_t>(chunk.size()));
    for (size_t at = bytes.find(kFrameMarker); at != std::string_view::npos;
         at = bytes.find(kFrameMarker, at + 1)) {
        const size_t start = at + kFrameMarker.size();
        if (start + 4 > bytes.size())
            continue;
        const auto frame =
            std::span(reinterpret_cast<const uint8_t*>(bytes.data()) + start, bytes.size() - start);
        const size_t length = frame[2] * 256u + frame[3];
        if (4 + length >= frame.size() ||
            FrameChecksum(frame.first(4 + length)) != frame[4 + length])
            continue;
        ++counts[frame[0]];
    }
    return counts;
}
