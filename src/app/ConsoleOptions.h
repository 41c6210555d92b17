#pragma once
// The Rx box's toggles, chosen by the operator in the box's context menu and remembered in the
// settings across runs. All off, the box shows the receive log exactly as it always has.
#include <QString>

struct ConsoleOptions {
    enum class Timestamps { None, TimeOfDay, SincePreviousChunk };

    Timestamps timestamps = Timestamps::None;
    bool sentCommands = false; // every command that leaves the port, marked
    bool hex = false;          // the raw bytes of each received chunk under its text

    static ConsoleOptions Load();
    void Save() const;

    bool operator==(const ConsoleOptions&) const = default;
};
