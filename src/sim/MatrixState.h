#pragma once
// Everything a matrix remembers: routing, audio paths, EDID choices, the nine name tables,
// the stored scenes, network settings and identity. Plain values, copied freely; the
// simulator hands out snapshots of it.
#include "DeviceStatus.h"

#include <array>
#include <cstdint>
#include <string>

inline constexpr int kMatrixInputs = 4;
inline constexpr int kMatrixOutputs = 4;
inline constexpr int kMatrixScenes = 8;
inline constexpr int kEdidSlots = 8; // built-in and user EDIDs alike

struct NetworkSettings {
    bool dhcp = false;
    std::array<uint8_t, 4> ip{};
    std::array<uint8_t, 4> mask{};
    std::array<uint8_t, 4> gateway{};
    std::array<uint8_t, 4> dns{};
    std::array<uint8_t, 6> mac{};
    std::string netbiosName; // 8-bit text, at most 16 bytes

    bool operator==(const NetworkSettings&) const = default;
};

struct MatrixState {
    using PerPort = std::array<int, kMatrixOutputs>;
    using Routing = std::array<int, kMatrixOutputs>; // per output, its input counted from 1

    Routing routing{};
    PerPort audioInputMode{}; // per input: 0 off, 1 H, 2 A
    PerPort audioHdmi{};      // per output, reported only
    PerPort audioIis{};       // per output: 0 off, 1 on
    PerPort audioSpdif{};     // per output: 0 off, 1 on
    PerPort edidMode{};       // per input: 0 Default, 1 User, 2 HDMI, 3 HDBT
    PerPort edidSource{};     // per input: source counted from 1
    std::array<Routing, kMatrixScenes> scenes{};

    // Name tables, indexed by NameTable; entries count from 0 here, each 8-bit text no wider
    // than its table's entry (a name filling the width has no terminator on the wire).
    std::array<std::array<std::string, kNameEntries>, kNameTableCount> names;

    NetworkSettings network;
    std::string productModel;   // at most 16 bytes
    std::string releaseVersion; // at most 16 bytes

    std::string& nameAt(NameTable table, int entry); // entry counted from 1
    const std::string& nameAt(NameTable table, int entry) const;

    // The EDID an input presents follows its mode and source; keeps the input EDID names
    // table in step with them.
    void updateInputEdidName(int input);

    bool operator==(const MatrixState&) const = default;
};

// The state of a matrix fresh from the factory.
MatrixState DefaultMatrixState();
