#pragma once
// A line on which a test plays the matrix: the code under test opens slavePath() as its port;
// the test reads what arrives on the matrix's side, with the time each burst began, and writes
// reply bytes back. The line is the system's local simulator line (SimulatorLine): a
// pseudo-terminal pair, or on Windows, which has none, a loopback TCP port (socket://…).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

class SimulatorLine;

class PtyMatrix {
public:
    using Clock = std::chrono::steady_clock;

    // One command as the matrix would see it: bytes that arrived with no idle gap of
    // burstGapMs or more between them.
    struct Burst {
        std::string bytes;
        Clock::time_point start;
        Clock::time_point end;
    };

    explicit PtyMatrix(int burstGapMs = 30);
    ~PtyMatrix();
    PtyMatrix(const PtyMatrix&) = delete;
    PtyMatrix& operator=(const PtyMatrix&) = delete;

    const std::string& slavePath() const { return slavePath_; }

    // Writes to the matrix's side, as the matrix sending.
    void write(std::span<const uint8_t> bytes);
    void write(const std::string& bytes);
    // A frame of the given type and data, marker and checksum included.
    void writeFrame(int type, std::span<const uint8_t> data);

    // Closes the matrix's side while the code under test may still hold the port (a pulled
    // adapter).
    void closeMaster();

    // Bursts completed so far (a burst completes after burstGapMs of silence).
    std::vector<Burst> bursts();
    // Waits until at least count bursts have completed; false on time-out.
    bool waitForBursts(size_t count, int timeoutMs);
    // Everything received so far, concatenated.
    std::string received();
    void clear();

private:
    void readLoop();

    std::unique_ptr<SimulatorLine> line_; // stays up between opens of the code under test
    std::string slavePath_;
    std::mutex writeMutex_;
    bool closed_ = false; // guarded by mutex_
    int gapMs_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Burst> bursts_;
    Burst pending_;
    bool pendingActive_ = false;
    std::thread reader_;
};

// The bytes of each burst, in order: one command each when the sender kept its pauses.
inline std::vector<std::string> BurstBytes(PtyMatrix& matrix)
{
    std::vector<std::string> out;
    for (const auto& burst : matrix.bursts())
        out.push_back(burst.bytes);
    return out;
}

inline long long MsBetween(PtyMatrix::Clock::time_point from, PtyMatrix::Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}
