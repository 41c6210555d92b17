#include "DecodedChunk.h"

#include <span>

FrameCounts CountValidFrames(const QByteArray& chunk)
{
    return CountValidFrames(std::span(reinterpret_cast<const uint8_t*>(chunk.constData()),
                                      static_cast<size_t>(chunk.size())));
}
