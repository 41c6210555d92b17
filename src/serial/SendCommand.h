#pragma once
// Every command goes out the same way: once the previous one has left the port, a 100 ms pause
// on the calling thread (the matrix tells commands apart only by the pause in front of each),
// then the bytes, with no terminator and no line end. A closed port drops the command silently.
#include <QByteArray>
#include <string>

inline constexpr int kCommandPauseMs = 100;
// Longest wait for the previous command to leave before the pause starts (a stalled line).
inline constexpr int kPreviousCommandDrainMs = 250;

void SendCommand(const std::string& command);
void SendCommandBytes(const QByteArray& bytes);

// Blocks the calling thread for the documented pauses after some actions.
void PauseMs(int ms);
