#pragma once
// The client end of the simulator's line, as a serial port user would hold it: raw mode,
// writes of whole commands, reads of whatever arrives until the line goes quiet.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class SlaveLine
{
public:
    explicit SlaveLine(const std::string& path);
    ~SlaveLine();
    SlaveLine(const SlaveLine&) = delete;
    SlaveLine& operator=(const SlaveLine&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void write(const std::string& bytes);
    // Everything that arrives until quietMs pass without a byte, or totalMs in all.
    std::vector<uint8_t> readUntilQuiet(int quietMs, int totalMs = 5000);
    // Reads until at least count bytes arrived or timeoutMs passed.
    std::vector<uint8_t> readAtLeast(size_t count, int timeoutMs);
    // True when the line reports a hang-up or an error within timeoutMs.
    bool waitForHangup(int timeoutMs);

private:
    int fd_ = -1;
};
