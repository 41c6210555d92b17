#pragma once
// What the subcommands that talk to a matrix share: running guarded (failures become exit
// codes and one line on standard error), the bounded waits, printing.
#include "CliCommands.h"
#include "DeviceStatus.h"

#include <functional>
#include <string>
#include <vector>

class MatrixSession;

// Milliseconds from the environment variable, or the fallback. Tests shorten the waits this
// way; the defaults are the panel's own.
int EnvMs(const char* name, int fallback);
int StatusTimeoutMs();  // TAVLOCTL_STATUS_TIMEOUT_MS, 30 s
int StatusRepeatMs();   // TAVLOCTL_STATUS_REPEAT_MS, 3.6 s
int ConfirmTimeoutMs(); // TAVLOCTL_WAIT_MS, 5 s

// Runs the body; a CliFailure becomes its exit code and message.
void RunGuarded(CliContext& context, const std::function<int()>& body);

// Writes UTF-8 text to standard output and flushes.
void PrintOut(const std::string& text);

// Commands for the matrix and, for --wait, how to know it has taken them.
struct MatrixAction {
    std::vector<std::string> commands;
    int confirmType = 0;  // frame type that confirms
    int confirmCount = 1; // how many of them
    std::function<bool(const DeviceStatus&)> confirmed = [](const DeviceStatus&) { return true; };
    std::function<std::string(const DeviceStatus&)> describe; // the new state, printed
};

// Opens the port, sends every command (each after its pause), and with wait waits for the
// confirmation and prints the new state. Exit 4 when no confirmation comes in time.
int RunMatrixAction(const CliContext& context, const MatrixAction& action, bool wait);

// Asks for the whole state and waits (bounded, repeating the request) for its end.
bool AcquireWholeState(MatrixSession& session);
