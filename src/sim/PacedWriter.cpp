#include "PacedWriter.h"

#include "SimulatorLine.h"

#include <algorithm>
#include <chrono>

namespace
{

using Clock = std::chrono::steady_clock;

// Small slices keep the pacing smooth without a wake-up per byte.
constexpr size_t kPacedSlice = 16;
// How often a writer blocked on a full line looks whether it should stop.
constexpr int kStopCheckMs = 50;

} // namespace

PacedWriter::PacedWriter(SimulatorLine& line, int baud)
    : line_(line), bytesPerSecond_(baud > 0 ? baud / 10 : 0)
{
    thread_ = std::thread([this] { run(); });
}

PacedWriter::~PacedWriter()
{
    Stop();
}

void PacedWriter::Enqueue(std::vector<uint8_t> bytes, int pauseBeforeMs)
{
    std::lock_guard lock(mutex_);
    if (stopping_)
        return;
    queue_.push_back({std::move(bytes), pauseBeforeMs});
    changed_.notify_all();
}

void PacedWriter::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
}

void PacedWriter::Discard()
{
    std::lock_guard lock(mutex_);
    queue_.clear();
    changed_.notify_all();
}

bool PacedWriter::WaitIdle(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return stopping_ || (queue_.empty() && !busy_); });
}

void PacedWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        Item item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        if (pause(item.pauseBeforeMs))
            writeAll(item.bytes);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

// Sleeps, but wakes for Stop; false when stopping.
bool PacedWriter::pause(int ms)
{
    std::unique_lock lock(mutex_);
    if (ms > 0)
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_; });
    return !stopping_;
}

void PacedWriter::writeAll(const std::vector<uint8_t>& bytes)
{
    if (bytesPerSecond_ == 0) {
        writeSome(bytes.data(), bytes.size());
        return;
    }
    // Each slice leaves when a line of this rate would have finished the bytes before it.
    const auto start = Clock::now();
    for (size_t sent = 0; sent < bytes.size();) {
        const auto due = start + std::chrono::microseconds(sent * 1'000'000 / bytesPerSecond_);
        std::this_thread::sleep_until(due);
        const size_t n = std::min(kPacedSlice, bytes.size() - sent);
        if (!writeSome(bytes.data() + sent, n))
            return;
        sent += n;
    }
}

// Writes every byte unless the line fails or the writer stops; false then.
bool PacedWriter::writeSome(const uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const long n = line_.Write(data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0)
            return false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return false;
        }
        // The reader on the other side has not kept up: wait for room.
        line_.WaitWritable(kStopCheckMs);
    }
    return true;
}
