#pragma once
// The data of each reply block, laid out the way the panel decodes it (the frame adds the
// checksum byte, which becomes the block's last byte).
#include "MatrixState.h"

#include <cstdint>
#include <vector>

inline constexpr size_t kStatusBlockData = 88;  // offsets 0..87
inline constexpr size_t kNetworkBlockData = 39; // offsets 0..38
inline constexpr size_t kModelBlockData = 48;   // model text at 16, version at 32

// highBits is or-ed into every value the panel reads through its six-bit mask: a matrix
// may use the upper bits for flags of its own.
std::vector<uint8_t> StatusBlockData(const MatrixState& state, uint8_t highBits = 0);
std::vector<uint8_t> NetworkBlockData(const MatrixState& state);
std::vector<uint8_t> ModelBlockData(const MatrixState& state);
std::vector<uint8_t> NameTableData(const MatrixState& state, NameTable table);

// Whole frames, marker and checksum included.
std::vector<uint8_t> StatusFrame(const MatrixState& state, uint8_t highBits = 0);
std::vector<uint8_t> NetworkFrame(const MatrixState& state);
std::vector<uint8_t> ModelFrame(const MatrixState& state);
std::vector<uint8_t> NameTableFrame(const MatrixState& state, NameTable table);

// The answer to a request for everything: every block and table, the HDMI output port names
// last because the panel takes that table as the end of its acquisition.
std::vector<std::vector<uint8_t>> FullStateFrames(const MatrixState& state, uint8_t highBits = 0);
