#include "MatrixSimulator.h"

#include "PacedWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

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

void setCloseOnExec(int fd)
{
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

// Commands are told apart by when their bytes arrive, and the reading thread learns that only
// when it runs. At normal priority on a loaded machine it can wait on the run queue for longer
// than a client's pause, then read two paced commands at once and take them for one command
// sent without a pause. At the lowest real-time priority it runs as soon as bytes come. The
// thread only ever waits in poll() between short bursts of work, so it never holds a core.
// Without the privilege for it the thread keeps the priority it has.
void readAsBytesArrive()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
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
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    // The slave stays open here too, so the line stays up between the client's opens.
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0 || pipe(wakePipe_) != 0) {
        if (error)
            *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        closeFds();
        return false;
    }
    for (int fd : {master_, slave_, wakePipe_[0], wakePipe_[1]})
        setCloseOnExec(fd); // a child process must not keep the line up
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    started_ = Clock::now();
    haveCommand_ = false;
    writer_ = std::make_unique<PacedWriter>(master_, options_.lineRateBaud);
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
    closeFds();
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

void MatrixSimulator::wake(char reason)
{
    // A wake lost to a signal would leave the server thread waiting for ever.
    while (::write(wakePipe_[1], &reason, 1) < 0 && errno == EINTR) {
    }
}

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
    readAsBytesArrive();
    std::string pending;
    bool active = false;
    for (;;) {
        pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, pollTimeoutMs(active));
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char reason = 0;
            if (::read(wakePipe_[0], &reason, 1) == 1 &&
                (reason == kWakeStop || reason == kWakeClose))
                break;
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !readAvailable(pending, active))
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
    const ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR;
    if (got == 0)
        return false;
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
    for (int* fd : {&master_, &slave_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void MatrixSimulator::closeFds()
{
    for (int* fd : {&master_, &slave_, &wakePipe_[0], &wakePipe_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
