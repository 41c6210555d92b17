#include "CommandRecord.h"

#include <cstdio>

const char* OutcomeName(CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Accepted:
        return "accepted";
    case CommandOutcome::Refused:
        return "refused";
    case CommandOutcome::IgnoredRestarting:
        break;
    }
    return "ignored (restarting)";
}

namespace
{

std::string printable(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        out += escaped;
    }
    return out;
}

} // namespace

std::string FormatCommandRecord(const CommandRecord& record)
{
    char gap[16] = "-";
    if (record.gapMs >= 0)
        std::snprintf(gap, sizeof gap, "%.1f", record.gapMs);
    char head[96];
    std::snprintf(head, sizeof head, "%10.1f ms  gap %8s ms  %-9s ", record.atMs, gap,
                  OutcomeName(record.outcome));
    std::string line = head + printable(record.bytes);
    if (!record.note.empty())
        line += "  (" + record.note + ")";
    return line;
}
