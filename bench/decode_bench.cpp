// Throughput of the receive path on full-size chunks: one read of a whole acquisition's frames,
// and one read of plain text.
#include "ReplyDecoder.h"
#include "ReplyFrame.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& chunk, const Bytes& frame)
{
    chunk.insert(chunk.end(), frame.begin(), frame.end());
}

// Every block and table the matrix sends for "#upper:80/00", repeated until the chunk is full.
Bytes acquisitionChunk()
{
    Bytes acquisition;
    append(acquisition, BuildReplyFrame(FrameNetwork, Bytes(38, 7)));
    append(acquisition, BuildReplyFrame(FrameStatus, Bytes(88, 1)));
    for (int type = FrameEdidDefaultNames; type <= FrameEdidHdbtOutputNames; ++type)
        append(acquisition, BuildReplyFrame(type, Bytes(255, 'e')));
    for (int type = FrameInputPortNames; type <= FrameSceneNames; ++type)
        append(acquisition, BuildReplyFrame(type, Bytes(127, 'p')));
    append(acquisition, BuildReplyFrame(FrameModel, Bytes(48, 'm')));

    Bytes chunk;
    while (chunk.size() + acquisition.size() <= kMaxChunkSize)
        append(chunk, acquisition);
    chunk.resize(kMaxChunkSize, 0);
    return chunk;
}

Bytes plainTextChunk()
{
    const std::string line =
        "VO:1IN:1;E:1M:0D:1;AI:1M:0;AO:1HDMI:0; plain text from a terminal\r\n";
    Bytes chunk;
    while (chunk.size() < kMaxChunkSize)
        chunk.insert(chunk.end(), line.begin(), line.end());
    chunk.resize(kMaxChunkSize);
    return chunk;
}

void runDecode(benchmark::State& state, const Bytes& chunk)
{
    DeviceStatus status;
    for (auto _ : state) {
        std::string text = DecodeChunk(status, chunk);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk.size()));
}

void BM_DecodeChunk_Frames(benchmark::State& state) { runDecode(state, acquisitionChunk()); }
void BM_DecodeChunk_PlainText(benchmark::State& state) { runDecode(state, plainTextChunk()); }

BENCHMARK(BM_DecodeChunk_Frames);
BENCHMARK(BM_DecodeChunk_PlainText);

} // namespace

BENCHMARK_MAIN();
