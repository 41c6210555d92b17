#include "WireSender.h"

#include "MySerialPortComm.h"
#include "SendCommand.h"

#include <algorithm>
#include <cstdint>

namespace {

// A command of a few dozen bytes leaves a 115200 line in a few milliseconds; this bounds the
// wait on a line held up by flow control.
constexpr int kDrainMs = 3000;

} // namespace

WireSender::WireSender(MySerialPortComm& port, size_t perSourceLimit, size_t totalLimit)
    : port_(port), perSourceLimit_(perSourceLimit), totalLimit_(totalLimit)
{
}

WireSender::~WireSender() { Finish(); }

void WireSender::Start()
{
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stopping_)
        return;
    thread_ = std::thread([this] { run(); });
}

WireSender::Refusal WireSender::Submit(std::vector<WireCommand> commands, QString* why)
{
    std::lock_guard lock(mutex_);
    if (stopping_)
        return Refusal::Stopped;
    // The server's own requests are few and keep the state whole: no client's flood holds
    // them back.
    const bool own = !commands.empty() && commands.front().source == 0;
    switch (queue_.push(std::move(commands), perSourceLimit_, own ? SIZE_MAX : totalLimit_)) {
    case FairQueue::Push::Taken:
        wake_.notify_one();
        return Refusal::None;
    case FairQueue::Push::SourceFull:
        if (why)
            *why = QStringLiteral("more than %1 commands of this client are waiting for the "
                                  "matrix")
                       .arg(perSourceLimit_);
        return Refusal::QueueFull;
    case FairQueue::Push::AllFull:
        if (why)
            *why = QStringLiteral("the server already has %1 commands waiting for the matrix")
                       .arg(totalLimit_);
        return Refusal::QueueFull;
    }
    return Refusal::QueueFull;
}

void WireSender::DropSource(uint64_t source)
{
    std::lock_guard lock(mutex_);
    queue_.dropSource(source);
}

void WireSender::DropAll()
{
    std::lock_guard lock(mutex_);
    queue_.clear();
}

void WireSender::Finish()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        wake_.notify_one();
    }
    if (thread_.joinable())
        thread_.join();
}

void WireSender::run()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        std::optional<WireCommand> command = queue_.pop();
        if (!command)
            return; // stopping, nothing left
        lock.unlock();
        const bool onWire = send(*command);
        if (command->ticket != 0 && command->lastOfTicket)
            emit commandDone(command->ticket, onWire);
    }
}

bool WireSender::send(const WireCommand& command)
{
    const auto pauseFrom = std::max(command.askedAt, lastOnWire_);
    std::this_thread::sleep_until(pauseFrom + std::chrono::milliseconds(kCommandPauseMs));
    const bool written = port_.WritePort(command.bytes) == command.bytes.size();
    // The next pause is measured from the moment this command has left, not from the write.
    const bool drained = written && port_.DrainOutput(kDrainMs);
    lastOnWire_ = WireCommand::Clock::now();
    return drained;
}
