#include "PtyMatrix.h"

#include "ReplyFrame.h"
#include "SimulatorLine.h"

#include <stdexcept>

namespace {
constexpr char kWakeStop = 'x';
constexpr char kWakeClose = 'c';
} // namespace

PtyMatrix::PtyMatrix(int burstGapMs) : gapMs_(burstGapMs)
{
    std::string error;
    line_ = OpenLocalLine(&error);
    if (!line_)
        throw std::runtime_error(error);
    slavePath_ = line_->ClientAddress();
    reader_ = std::thread([this] { readLoop(); });
}

PtyMatrix::~PtyMatrix()
{
    line_->Wake(kWakeStop);
    reader_.join();
}

void PtyMatrix::write(std::span<const uint8_t> bytes)
{
    std::lock_guard writing(writeMutex_);
    size_t done = 0;
    while (done < bytes.size()) {
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return;
        }
        const long n = line_->Write(bytes.data() + done, bytes.size() - done);
        if (n < 0)
            return;
        if (n == 0)
            line_->WaitWritable(100);
        done += static_cast<size_t>(n);
    }
}

void PtyMatrix::write(const std::string& bytes)
{
    write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void PtyMatrix::writeFrame(int type, std::span<const uint8_t> data)
{
    write(BuildReplyFrame(type, data));
}

// The reading thread hangs the line up; this waits until it has.
void PtyMatrix::closeMaster()
{
    std::lock_guard writing(writeMutex_);
    std::unique_lock lock(mutex_);
    if (closed_)
        return;
    line_->Wake(kWakeClose);
    changed_.wait(lock, [&] { return closed_; });
}

std::vector<PtyMatrix::Burst> PtyMatrix::bursts()
{
    std::lock_guard lock(mutex_);
    return bursts_;
}

bool PtyMatrix::waitForBursts(size_t count, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return bursts_.size() >= count; });
}

std::string PtyMatrix::received()
{
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& burst : bursts_)
        all += burst.bytes;
    if (pendingActive_)
        all += pending_.bytes;
    return all;
}

void PtyMatrix::clear()
{
    std::lock_guard lock(mutex_);
    bursts_.clear();
    pendingActive_ = false;
    pending_ = {};
}

void PtyMatrix::readLoop()
{
    bool closed = false;
    for (;;) {
        char reason = 0;
        const SimulatorLine::Event event = line_->Wait(closed ? -1 : gapMs_, &reason);
        if (event == SimulatorLine::Event::Woken && reason == kWakeStop)
            return;
        std::lock_guard lock(mutex_);
        if (event == SimulatorLine::Event::Woken && reason == kWakeClose) {
            line_->HangUp();
            closed = closed_ = true;
            changed_.notify_all();
            continue;
        }
        uint8_t buffer[4096];
        const long got = event == SimulatorLine::Event::Readable
                             ? line_->Read(reinterpret_cast<char*>(buffer), sizeof buffer)
                             : 0;
        if (got <= 0) {
            // Silence (or a side nobody holds): the burst in progress is complete.
            if (pendingActive_) {
                bursts_.push_back(pending_);
                pendingActive_ = false;
                pending_ = {};
                changed_.notify_all();
            }
            if (event != SimulatorLine::Event::TimedOut)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const auto now = Clock::now();
        if (!pendingActive_) {
            pending_.start = now;
            pendingActive_ = true;
        }
        pending_.end = now;
        pending_.bytes.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
    }
}
