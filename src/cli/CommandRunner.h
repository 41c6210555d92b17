#pragma once
// What the subcommands that talk to a matrix share: running guarded (failures become exit
// codes and one line on standard error), the bounded waits, printing.
#include "CliCommands.h"
#include "DeviceStatus.h"
#include "MatrixAction.h"
#include "RemoteAccess.h"

#include <functional>
#include <string>

class MatrixSession;

// The waits, from --timeout and --repeat; the defaults are the panel's own.
int StatusTimeoutMs(const CliContext& context);  // the whole state: 30 s
int ConfirmTimeoutMs(const CliContext& context); // a confirmation or an answer: 5 s
int StatusRepeatMs(const CliContext& context);   // 3.6 s

// The token (--token-file, or TAVLO_TOKEN_FILE) and trust (--tls-ca) for a network port.
// Throws CliFailure (exit 2) when the token file cannot be read.
RemoteAccess AccessOf(const CliContext& context);

// Runs the body; a CliFailure becomes its exit code and message.
void RunGuarded(CliContext& context, const std::function<int()>& body);

// Writes UTF-8 text to standard output and flushes.
void PrintOut(const std::string& text);

// Opens the port, sends every command (each after its pause), and with wait waits for the
// confirmation and prints what the action changed. Exit 4 when no confirmation comes in time.
int RunMatrixAction(const CliContext& context, const MatrixAction& action, bool wait);
// The same for an action that depends on what the matrix holds (an input given by its name):
// the whole state is acquired first, then the action built from it. A Refusal from build
// passes through.
int RunMatrixActionOnState(const CliContext& context,
                           const std::function<MatrixAction(const DeviceStatus&)>& build,
                           bool wait);

// Asks for the whole state, repeating the request, until every block and table has arrived.
// Throws CliFailure (exit 4, naming what is missing) when the time is up first.
void AcquireWholeState(MatrixSession& session, const CliContext& context);
