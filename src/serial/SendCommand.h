#pragma once
// Every command goes out the same way: a 100 ms pause on the calling thread (the matrix tells
// commands apart only by the pause in front of each), then the bytes, with no terminator and
// no line end. A closed port drops the command silently.
#include <QByteArray>
#include <string>

inline constexpr int kCommandPauseMs = 100;

void SendCommand(const std::string& command);
void SendCommandBytes(const QByteArray& bytes);

// Blocks the calling thread for the documented pauses after some actions.
void PauseMs(int ms);
