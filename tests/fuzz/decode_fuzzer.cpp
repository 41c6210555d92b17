// Feeds arbitrary chunks through the receive path: marker scan, checksum, every block decoder.
// One model lives across inputs, as in the panel, so decoders also meet earlier state.
#include "ReplyDecoder.h"
#include "ReplyFrame.h"
#include "RxRingBuffer.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DeviceStatus status;
    static RxRingBuffer ring;
    if (size > kMaxChunkSize)
        return 0;
    std::vector<uint8_t> chunk(size);
    if (!ring.Put(data, size) || !ring.Get(chunk.data(), size))
        __builtin_trap(); // the ring is drained by every chunk, so it always has room
    if (size > 0 && std::memcmp(chunk.data(), data, size) != 0)
        __builtin_trap();
    const std::string text = DecodeChunk(status, chunk);
    if (text.empty())
        __builtin_trap(); // every chunk shows at least a line break
    return 0;
}
