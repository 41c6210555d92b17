#include "MatrixSimulator.h"

#include "PacedWriter.h"
#include "SimulatorLine.h"

#include <algorithm>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr char kWakeStop = 's';
constexpr char kWakeClose = 'c';
constexpr size_t kReadSize = 4096;

double millisBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A count of -1 lasts; a positive one is used up.
bool takeOne(int& count)
{
    if (count == 0)
        return false;
    if (count > 0)
        --count;
    return true;
}

} // namespace

MatrixSimulator::MatrixSimulator(SimulatorOptions options) : options_(std::move(options))
{
    device_.SetStatusHighBits(options_.statusHighBits);
}

MatrixSimulator::~MatrixSimulator()
{
    Stop();
}

bool MatrixSimulator::Start(std::string* error)
{
    if (server_.joinable() && !IsRunning())
        Stop(); // the line was closed (device lost): start afresh
    if (server_.joinable()) {
        if (error)
            *error = "the simulator already runs";
        return false;
    }
    std::string reason;
    line_ = options_.listenHost.empty()
                ? OpenLocalLine(&reason)
                : OpenTcpLine(options_.listenHost, options_.listenPort, &reason);
    if (!line_) {
        if (error)
            *error = reason;
        return false;
    }
    slavePath_ = line_->ClientAddress();
    started_ = Clock::now();
    haveCommand_ = false;
    writer_ = std::make_unique<PacedWriter>(*line_, options_.lineRateBaud);
    {
        std::lock_guard lock(mutex_);
        running_ = true;
        lineOpen_ = true;
        restartUntil_ = {};
        faults_ = {};
    }
    server_ = std::thread([this] { serve(); });
    return true;
}

void MatrixSimulator::Stop()
{
    if (!server_.joinable())
        return;
    wake(kWakeStop);
    server_.join();
    writer_.reset();
    line_.reset();
    std::lock_guard lock(mutex_);
    running_ = false;
    changed_.notify_all();
}

bool MatrixSimulator::IsRunning() const
{
    std::lock_guard lock(mutex_);
    return running_ && lineOpen_;
}

MatrixState MatrixSimulator::State() const
{
    std::lock_guard lock(mutex_);
    return device_.State();
}

void MatrixSimulator::SetState(const MatrixState& state)
{
    std::lock_guard lock(mutex_);
    device_.SetState(state);
}

std::vector<CommandRecord> MatrixSimulator::CommandLog() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

void MatrixSimulator::ClearCommandLog()
{
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool MatrixSimulator::WaitForCommands(size_t count, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return log_.size() >= count; });
}

bool MatrixSimulator::WaitRepliesWritten(int timeoutMs)
{
    return writer_ ? writer_->WaitIdle(timeoutMs) : true;
}

bool MatrixSimulator::IsRestarting() const
{
    std::lock_guard lock(mutex_);
    return Clock::now() < restartUntil_;
}

void MatrixSimulator::DropReplies(int count)
{
    std::lock_guard lock(mutex_);
    faults_.drop = count;
}

void MatrixSimulator::CorruptChecksums(int frames)
{
    std::lock_guard lock(mutex_);
    faults_.corrupt = frames;
}

void MatrixSimulator::SplitReplies(int count, int pauseMs)
{
    std::lock_guard lock(mutex_);
    faults_.split = count;
    faults_.splitPauseMs = pauseMs;
}

void MatrixSimulator::InsertGarbage(std::vector<uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    faults_.garbage = std::move(bytes);
}

void MatrixSimulator::CloseLine()
{
    if (!server_.joinable())
        return;
    wake(kWakeClose);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !lineOpen_; });
}

void MatrixSimulator::CloseLineAfter(int commands)
{
    std::lock_guard lock(mutex_);
    faults_.closeAfter = commands;
}

void MatrixSimulator::WriteRaw(std::vector<uint8_t> bytes)
{
    if (writer_)
        writer_->Enqueue(std::move(bytes));
}

void MatrixSimulator::wake(char reason) { line_->Wake(reason); }

int MatrixSimulator::pollTimeoutMs(bool active) const
{
    if (!active)
        return -1;
    const double idle = millisBetween(lastByte_, Clock::now());
    return std::max(0, options_.idleGapMs - static_cast<int>(idle));
}

// The server thread: reads the line, cuts commands at idle gaps, answers them.
void MatrixSimulator::serve()
{
    ReadAsBytesArrive();
    std::string pending;
    bool active = false;
    for (;;) {
        char reason = 0;
        const SimulatorLine::Event event = line_->Wait(pollTimeoutMs(active), &reason);
        if (event == SimulatorLine::Event::Failed)
            break;
        if (event == SimulatorLine::Event::Woken && (reason == kWakeStop || reason == kWakeClose))
            break;
        if (event == SimulatorLine::Event::Readable && !readAvailable(pending, active))
            break;
        if (active && millisBetween(lastByte_, Clock::now()) >= options_.idleGapMs) {
            CommandRecord record;
            record.bytes = std::move(pending);
            pending.clear();
            active = false;
            dispatch(std::move(record));
        }
        std::lock_guard lock(mutex_);
        if (faults_.closeAfter == 0)
            break;
    }
    closeLine();
}

// False when the line has failed.
bool MatrixSimulator::readAvailable(std::string& pending, bool& active)
{
    char buffer[kReadSize];
    const long got = line_->Read(buffer, sizeof buffer);
    if (got < 0)
        return false;
    if (got == 0)
        return true;
    const auto now = Clock::now();
    if (!active) {
        active = true;
        pending.clear();
        firstByte_ = now;
    }
    lastByte_ = now;
    pending.append(buffer, static_cast<size_t>(got));
    return true;
}

void MatrixSimulator::dispatch(CommandRecord record)
{
    const auto now = Clock::now();
    record.firstByte = firstByte_;
    record.lastByte = lastByte_;
    record.atMs = millisBetween(started_, firstByte_);
    record.gapMs = haveCommand_ ? millisBetween(previousCommandEnd_, firstByte_) : -1;
    previousCommandEnd_ = lastByte_;
    haveCommand_ = true;
    {
        std::lock_guard lock(mutex_);
        if (now < restartUntil_) {
            record.outcome = CommandOutcome::IgnoredRestarting;
        } else {
            DeviceResponse response = device_.Handle(record.bytes);
            record.outcome = response.accepted ? CommandOutcome::Accepted : CommandOutcome::Refused;
            record.note = response.note;
            if (response.restart) {
                restartUntil_ = now + std::chrono::milliseconds(options_.restartSilenceMs);
                writer_->Discard();
            }
            answer(record, std::move(response.frames));
        }
        if (faults_.closeAfter > 0)
            --faults_.closeAfter;
        log_.push_back(record);
        changed_.notify_all();
    }
    if (options_.onCommand)
        options_.onCommand(record);
}

// Applies the faults asked for and queues the reply. Called with the mutex held.
void MatrixSimulator::answer(CommandRecord& record, std::vector<std::vector<uint8_t>> frames)
{
    if (frames.empty())
        return;
    auto addNote = [&](const char* what) {
        record.note += record.note.empty() ? what : std::string("; ") + what;
    };
    if (takeOne(faults_.drop)) {
        addNote("reply dropped");
        return;
    }
    std::vector<uint8_t> bytes = std::move(faults_.garbage);
    faults_.garbage.clear();
    if (!bytes.empty())
        addNote("garbage before the reply");
    for (auto& frame : frames) {
        if (takeOne(faults_.corrupt)) {
            frame.back() ^= 0xFF; // the checksum
            addNote("checksum corrupted");
        }
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    record.replyBytes = bytes.size();
    if (bytes.size() > 1 && takeOne(faults_.split)) {
        addNote("reply split");
        const auto half = bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2);
        writer_->Enqueue(std::vector<uint8_t>(bytes.begin(), half), options_.replyDelayMs);
        writer_->Enqueue(std::vector<uint8_t>(half, bytes.end()), faults_.splitPauseMs);
        return;
    }
    writer_->Enqueue(std::move(bytes), options_.replyDelayMs);
}

// On the server thread, as it ends: the device is gone for whoever has the line open.
void MatrixSimulator::closeLine()
{
    if (writer_)
        writer_->Stop();
    {
        // Marked closed before the hang-up, so a client that sees it finds us not running.
        std::lock_guard lock(mutex_);
        lineOpen_ = false;
        changed_.notify_all();
    }
    line_->HangUp();
}
