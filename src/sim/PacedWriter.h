#pragma once
// Puts reply bytes on the matrix's side of the line from a thread of its own, so that a slow
// line never delays reading (and timestamping) the next command. Optionally paces the bytes
// as a real serial line of the given rate would.
//
// Threads: Enqueue and Stop from any thread; the line must stay open until Stop returns.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class SimulatorLine;

class PacedWriter
{
public:
    // baud 0: as fast as the line takes them.
    PacedWriter(SimulatorLine& line, int baud);
    ~PacedWriter();
    PacedWriter(const PacedWriter&) = delete;
    PacedWriter& operator=(const PacedWriter&) = delete;

    // Writes the bytes after pauseBeforeMs of silence, behind everything queued earlier.
    void Enqueue(std::vector<uint8_t> bytes, int pauseBeforeMs = 0);
    // Discards what is still queued and ends the thread.
    void Stop();
    // Drops what is queued and not yet started (a restarting matrix forgets its replies).
    void Discard();
    // Waits until everything queued so far is written; false on time-out.
    bool WaitIdle(int timeoutMs);

private:
    struct Item {
        std::vector<uint8_t> bytes;
        int pauseBeforeMs = 0;
    };

    void run();
    bool pause(int ms);
    void writeAll(const std::vector<uint8_t>& bytes);
    bool writeSome(const uint8_t* data, size_t size);

    SimulatorLine& line_;
    int bytesPerSecond_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
