#pragma once
// Shared by the audio and EDID page suites: what the pseudo-terminal matrix received, and
// status blocks fed through the real frame decoder as if the matrix had sent them.
#include "DeviceStatus.h"
#include "PtyMatrix.h"
#include "ReplyDecoder.h"
#include "ReplyFrame.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Two commands sent 100 ms apart may be timestamped a few ms closer: each arrival is stamped
// by the reader thread, which a loaded machine schedules late now and then. A missing pause
// shows as a gap near 0, far below this.
inline constexpr long long kMinCommandGapMs = 90;

// Waits for `count` commands, then a short silence to show that nothing else followed.
inline std::vector<std::string> SentCommands(PtyMatrix& matrix, size_t count, int quietMs = 250)
{
    matrix.waitForBursts(count, 3000);
    matrix.waitForBursts(count + 1, quietMs);
    return BurstBytes(matrix);
}

// The per-port fields of a status block, ports 1-4; everything else reads 0.
struct StatusFields {
    std::array<uint8_t, 4> audioInput{};
    std::array<uint8_t, 4> iis{};
    std::array<uint8_t, 4> spdif{};
    std::array<uint8_t, 4> edidMode{};
    std::array<uint8_t, 4> edidData{};
};

// A status frame through the decoder, as the Link page would pass a received chunk.
inline void ReceiveStatus(const StatusFields& fields)
{
    std::vector<uint8_t> data(88, 0);
    for (size_t o = 0; o < 4; ++o) {
        data[40 + o] = fields.audioInput[o];
        data[56 + o] = fields.iis[o];
        data[64 + o] = fields.spdif[o];
        data[72 + o] = fields.edidMode[o];
        data[80 + o] = fields.edidData[o];
    }
    DecodeChunk(GlobalDeviceStatus(), BuildReplyFrame(FrameStatus, data));
}
