#pragma once
// The matrix's end of the line a simulator serves. Two kinds:
// - a pseudo-terminal, opened by the client as a serial port (Unix only);
// - a TCP port that one client at a time connects to (socket://HOST:PORT), on every system.
// One file per system: SimulatorLine_unix.cpp, SimulatorLine_win.cpp.
//
// Threads: Wait and Read on the simulator's reading thread; Write and WaitWritable on its
// writing thread; Wake from any thread; HangUp on the reading thread while the writing thread
// is stopped.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class SimulatorLine {
public:
    enum class Event { Readable, Woken, TimedOut, Failed };

    virtual ~SimulatorLine() = default;

    // What a client opens: the pseudo-terminal's path, or socket://HOST:PORT.
    virtual std::string ClientAddress() const = 0;

    // Waits for bytes from the client, a Wake (its reason in *reason) or the time-out
    // (-1: none). A TCP line takes a client's arrival and leaving in its stride meanwhile.
    virtual Event Wait(int timeoutMs, char* reason) = 0;
    // Bytes read (> 0), 0 when there are none now, -1 when the line has failed.
    virtual long Read(char* buffer, size_t size) = 0;

    // Bytes written (0: the line is full for now), -1 when the line has failed. With no client
    // on a TCP line the bytes are dropped, as a matrix's reply is when nothing listens.
    virtual long Write(const uint8_t* data, size_t size) = 0;
    // Waits until the line takes bytes again, at most timeoutMs.
    virtual void WaitWritable(int timeoutMs) = 0;

    virtual void Wake(char reason) = 0;
    // The device is gone: the client sees a hang-up (pseudo-terminal) or a closed connection,
    // and a TCP line takes no new client. Wake still works.
    virtual void HangUp() = 0;
};

// The line a simulator is served on unless told otherwise: a fresh pseudo-terminal in raw mode
// where there are pseudo-terminals, else a TCP line on a free loopback port. Nothing, with the
// reason, when it cannot be made.
std::unique_ptr<SimulatorLine> OpenLocalLine(std::string* error);

// A TCP line listening on host (an IPv4 or IPv6 address) and port (0: a free one).
std::unique_ptr<SimulatorLine> OpenTcpLine(const std::string& host, uint16_t port,
                                           std::string* error);

// Commands are told apart by when their bytes arrive, and the reading thread learns that only
// when it runs: call this on it to have it run as soon as bytes come, where the system lets it.
void ReadAsBytesArrive();
