#pragma once
// One command as the matrix received it, for the command log. Times are taken when the
// simulator's thread read the bytes: after they arrived by its wake-up latency, which is well
// under a millisecond on an idle machine and can reach a few on a loaded one.
#include <chrono>
#include <string>

enum class CommandOutcome {
    Accepted,
    Refused,           // unknown, malformed or out of range; the matrix ignored it
    IgnoredRestarting, // arrived while the matrix was restarting
};

struct CommandRecord {
    std::string bytes;
    std::chrono::steady_clock::time_point firstByte;
    std::chrono::steady_clock::time_point lastByte;
    double atMs = 0;   // first byte, milliseconds since the simulator started
    double gapMs = -1; // idle time since the previous command's last byte; -1 for the first
    CommandOutcome outcome = CommandOutcome::Accepted;
    std::string note;      // the reason for a refusal, or what the faults did to the reply
    size_t replyBytes = 0; // bytes queued in answer (after faults)
};

const char* OutcomeName(CommandOutcome outcome);

// One line: time, gap, outcome, the bytes (non-printable ones as \xNN), and the note.
std::string FormatCommandRecord(const CommandRecord& record);
