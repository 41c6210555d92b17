#pragma once
// A simulated matrix served on a pseudo-terminal or a TCP port (SimulatorLine): open SlavePath()
// as the port and it answers like the real one. Plain threads, no event loop, so it runs the
// same inside the panel, tavloctl and tests.
//
// Commands are told apart the way the matrix must do it: a command ends when the line has
// been idle for the gap. Two commands sent without the pause between them arrive as one
// malformed command, which is logged and ignored.
//
// Threads: every public call may come from any thread, except that Stop() and CloseLine()
// must not be called from the onCommand callback.
#include "CommandRecord.h"
#include "MatrixDevice.h"
#include "MatrixState.h"
#include "SimulatorOptions.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PacedWriter;
class SimulatorLine;

class MatrixSimulator
{
public:
    explicit MatrixSimulator(SimulatorOptions options = {});
    ~MatrixSimulator(); // stops
    MatrixSimulator(const MatrixSimulator&) = delete;
    MatrixSimulator& operator=(const MatrixSimulator&) = delete;

    // Opens a fresh line and starts serving it, also after the line was closed. False, with
    // the reason, when the line cannot be made or the simulator already serves a line.
    bool Start(std::string* error);
    // What a client opens: the pseudo-terminal's path, or socket://HOST:PORT.
    const std::string& SlavePath() const { return slavePath_; }
    // Ends serving and closes the line; replies not yet written are dropped.
    void Stop();
    // Serving, and the line not closed.
    bool IsRunning() const;

    // The matrix's state now, or replaced (what the matrix reports from then on).
    MatrixState State() const;
    void SetState(const MatrixState& state);

    // Every command received since start (or the last clear), oldest first.
    std::vector<CommandRecord> CommandLog() const;
    void ClearCommandLog();
    // Waits until the log holds at least count commands; false on time-out.
    bool WaitForCommands(size_t count, int timeoutMs) const;
    // Waits until every reply queued so far is on the line; false on time-out.
    bool WaitRepliesWritten(int timeoutMs);
    bool IsRestarting() const;

    // Faults, each for the replies to the next commands that have replies. A count of -1
    // lasts until set again with 0.
    void DropReplies(int count);
    void CorruptChecksums(int frames); // counts frames, not replies
    void SplitReplies(int count, int pauseMs);
    void InsertGarbage(std::vector<uint8_t> bytes); // before the next reply
    // The device is lost: the line goes down at once, or after the given number of further
    // commands have been received.
    void CloseLine();
    void CloseLineAfter(int commands);
    // Puts bytes on the line unasked, behind any reply in progress.
    void WriteRaw(std::vector<uint8_t> bytes);

private:
    struct Faults {
        int drop = 0;
        int corrupt = 0;
        int split = 0;
        int splitPauseMs = 0;
        std::vector<uint8_t> garbage;
        int closeAfter = -1;
    };

    void serve();
    bool readAvailable(std::string& pending, bool& active);
    void dispatch(CommandRecord record);
    void answer(CommandRecord& record, std::vector<std::vector<uint8_t>> frames);
    void closeLine();
    int pollTimeoutMs(bool active) const;
    void wake(char reason);

    SimulatorOptions options_;
    std::string slavePath_;
    std::unique_ptr<SimulatorLine> line_;
    std::unique_ptr<PacedWriter> writer_;
    std::thread server_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point firstByte_;
    std::chrono::steady_clock::time_point lastByte_;
    std::chrono::steady_clock::time_point previousCommandEnd_;
    bool haveCommand_ = false;

    mutable std::mutex mutex_; // guards everything below
    mutable std::condition_variable changed_;
    MatrixDevice device_;
    std::vector<CommandRecord> log_;
    std::chrono::steady_clock::time_point restartUntil_;
    Faults faults_;
    bool running_ = false;
    bool lineOpen_ = false;
};
